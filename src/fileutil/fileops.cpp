#include "fileutil/fileops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/ascii.h"
#include "common/heapstr.h"
#include "platform/platform.h"

namespace upd {

namespace {

using platform::Follow;
using platform::HostPath;

HostPath Where(const char* path, Follow last) {
  return platform::Current().Resolve(path, last);
}

// The *at flag that keeps a resolved name from being followed once more.
int NoFollowFlag(const HostPath& host) {
  return host.noFollow ? AT_SYMLINK_NOFOLLOW : 0;
}

// stat() of an instrument path, links followed; false (errno set) on failure.
bool StatPath(const char* path, struct stat& st) {
  const HostPath host = Where(path, Follow::kYes);
  if (host.error != 0) {
    errno = host.error;
    return false;
  }
  return ::fstatat(host.dir(), host.name.c_str(), &st, NoFollowFlag(host)) == 0;
}

constexpr std::size_t kSamePathChars = 512;
constexpr std::size_t kCopyBlock = 2048;
constexpr std::size_t kCopyStreamBuffer = 128 * 1024;

constexpr char NormalisePathChar(char c) {
  return c == '\\' ? '/' : str::FoldAscii(c);
}

// Puts a buffer of kCopyStreamBuffer bytes behind `stream`, which must not have
// been used yet. The default one is a single file-system block, which costs a
// system call every two copy blocks. Without memory for it the stream keeps its
// default buffer: slower, still correct. The buffer must outlive the stream.
MallocPtr<char> EnlargeBuffer(std::FILE* stream) {
  MallocPtr<char> buffer(static_cast<char*>(std::malloc(kCopyStreamBuffer)));
  if (buffer && std::setvbuf(stream, buffer.get(), _IOFBF, kCopyStreamBuffer) != 0) {
    buffer.reset();
  }
  return buffer;
}

// Lets the platform refuse a change (a simulated fault); errno then says why.
bool Allowed(platform::FileCall call, const char* path, const char* other = "") {
  const int refused = platform::Current().BeforeChange(call, path, other);
  if (refused != 0) errno = refused;
  return refused == 0;
}

// Fails with the resolution's error, if any; errno then says why.
bool Reachable(const HostPath& host) {
  if (host.error != 0) errno = host.error;
  return host.error == 0;
}

// lstat() of an instrument path: a last link is not followed. false (errno
// set) on failure.
bool LstatPath(const char* path, struct stat& st) {
  const HostPath host = Where(path, Follow::kNo);
  return Reachable(host) && ::fstatat(host.dir(), host.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// `path` with backslashes as slashes and ASCII letters folded, "//" and "."
// dropped, each ".." taking back the name before it (the root's is the root
// itself) and no trailing slash: "/a//b/./c/../" is "/a/b".
std::string NormalForm(std::string_view path) {
  std::string folded(path);
  for (char& c : folded) c = NormalisePathChar(c);
  const bool absolute = folded.starts_with('/');
  std::string normal = absolute ? "/" : "";
  std::size_t names = 0;  // names in `normal` that a ".." can take back
  const std::string_view text = folded;
  for (std::size_t pos = 0; pos <= text.size();) {
    std::size_t end = text.find('/', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view part = text.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == ".." && names > 0) {
      const std::size_t cut = normal.rfind('/');
      normal.erase(cut == std::string::npos ? 0 : cut == 0 ? 1 : cut);
      --names;
      continue;
    }
    if (part == ".." && absolute) continue;
    if (part != "..") ++names;
    if (!normal.empty() && normal.back() != '/') normal += '/';
    normal += part;
  }
  return normal.empty() && !path.empty() ? "." : normal;
}

// What tells files apart: an existing file's device and inode (`name` empty),
// or for an entry its folder's device and inode and its folded name.
struct Identity {
  dev_t device;
  ino_t inode;
  std::string name;

  bool operator==(const Identity&) const = default;
};

// The folder that holds the entry `host` names, and the entry's name in it;
// nothing when the folder cannot be looked at or the name is "." or "..".
// `host.name` is one name in a folder the seam opened, or a whole path.
std::optional<Identity> FolderAndName(const HostPath& host) {
  std::string_view name = host.name;
  while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
  const std::size_t slash = name.rfind('/');
  const std::string folder = slash == std::string_view::npos ? "."
                             : slash == 0                    ? "/"
                                                             : std::string(name.substr(0, slash));
  const std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") return std::nullopt;
  struct stat st {};
  if (::fstatat(host.dir(), folder.c_str(), &st, 0) != 0 || !S_ISDIR(st.st_mode)) {
    return std::nullopt;
  }
  Identity entry{st.st_dev, st.st_ino, std::string(last)};
  for (char& c : entry.name) c = str::FoldAscii(c);
  return entry;
}

// The file `path` names, links followed; a file yet to be made by its folder
// and name. Nothing when neither can be looked at.
std::optional<Identity> IdentityOf(const char* path) {
  const HostPath host = Where(path, Follow::kYes);
  if (host.error != 0) return std::nullopt;
  struct stat st {};
  if (::fstatat(host.dir(), host.name.c_str(), &st, NoFollowFlag(host)) == 0) {
    return Identity{st.st_dev, st.st_ino, ""};
  }
  return errno == ENOENT ? FolderAndName(host) : std::nullopt;
}

// The entry `path` names, a last link not followed: its own status and where
// it lies. false when there is none.
bool EntryOf(const char* path, struct stat& st, Identity& entry) {
  const HostPath host = Where(path, Follow::kNo);
  if (!Reachable(host) || ::fstatat(host.dir(), host.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return false;
  }
  auto where = FolderAndName(host);
  if (!where) return false;
  entry = std::move(*where);
  return true;
}

// Empties `out` unless it is the very file open as `in`. false, with nothing
// changed, for one file, or when either cannot be looked at.
bool EmptyUnlessSame(std::FILE* out, std::FILE* in) {
  const platform::Platform& seam = platform::Current();
  const int outFd = seam.DescriptorOf(out);
  const int inFd = seam.DescriptorOf(in);
  struct stat outStat {};
  struct stat inStat {};
  if (outFd < 0 || inFd < 0 || ::fstat(outFd, &outStat) != 0 || ::fstat(inFd, &inStat) != 0) {
    return false;
  }
  if (outStat.st_dev == inStat.st_dev && outStat.st_ino == inStat.st_ino) return false;
  return ::ftruncate(outFd, 0) == 0;
}

}  // namespace

int exists(const char* path) {
  if (path == nullptr || *path == '\0') return 0;
  struct stat st {};
  return StatPath(path, st) ? 1 : 0;
}

std::int32_t filelen(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  // A size that a signed 32-bit number cannot carry is reported as unknown
  // rather than wrapped into a wrong (possibly negative) length.
  if (st.st_size < 0 || st.st_size > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(st.st_size);
}

std::int32_t filelen_fp(std::FILE* stream) {
  if (stream == nullptr) return -1;
  return filelen(::fileno(stream));
}

long long StreamSize(std::FILE* stream) {
  if (stream == nullptr) return -1;
  struct stat st {};
  const int fd = platform::Current().DescriptorOf(stream);
  if (fd < 0 || ::fstat(fd, &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

int isord(const char* path) {
  if (path == nullptr) return 0;
  struct stat st {};
  if (!StatPath(path, st)) return 0;
  return (st.st_mode & 0x8000U) != 0 ? 1 : 0;
}

int RemoveFile(const char* path) {
  if (path == nullptr) return 0;
  const HostPath host = Where(path, Follow::kNo);
  if (!Allowed(platform::FileCall::kRemove, path) || !Reachable(host)) return 0;
  return ::unlinkat(host.dir(), host.name.c_str(), 0) == 0 ? 1 : 0;
}

namespace {

int RenameEntry(const char* oldName, const char* newName, bool replace) {
  if (oldName == nullptr || *oldName == '\0') return kRenameNoOldName;
  if (newName == nullptr || *newName == '\0') return kRenameNoNewName;
  if (exists(oldName) == 0) return kRenameOldMissing;
  // A dangling link is a name too, which rename() would replace.
  struct stat st {};
  if (!replace && (exists(newName) != 0 || LstatPath(newName, st))) return kRenameNewExists;
  const HostPath from = Where(oldName, Follow::kNo);
  const HostPath to = Where(newName, Follow::kNo);
  if (Allowed(platform::FileCall::kRename, oldName, newName) && Reachable(from) && Reachable(to) &&
      ::renameat(from.dir(), from.name.c_str(), to.dir(), to.name.c_str()) == 0) {
    return kRenameOk;
  }
  switch (errno) {
    case EACCES:
      return kRenameAccess;
    case EXDEV:
      return kRenameCrossDevice;
    case ENOENT:
      return kRenameNoEntry;
    default:
      return kRenameOther;
  }
}

}  // namespace

int Rename(const char* oldName, const char* newName) {
  return RenameEntry(oldName, newName, false);
}

int ReplaceFile(const char* oldName, const char* newName) {
  return RenameEntry(oldName, newName, true);
}

int LinkFile(const char* existing, const char* newName) {
  if (existing == nullptr || newName == nullptr) return EINVAL;
  const HostPath from = Where(existing, Follow::kNo);
  const HostPath to = Where(newName, Follow::kNo);
  if (!Allowed(platform::FileCall::kLink, existing, newName) || !Reachable(from) ||
      !Reachable(to)) {
    return errno;
  }
  return ::linkat(from.dir(), from.name.c_str(), to.dir(), to.name.c_str(), 0) == 0 ? 0 : errno;
}

int SamePath(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return 0;
  const std::size_t lenA = ::strnlen(a, kSamePathChars);
  const std::size_t lenB = ::strnlen(b, kSamePathChars);
  if (lenA != lenB) return 0;
  for (std::size_t i = 0; i < lenA; ++i) {
    if (NormalisePathChar(a[i]) != NormalisePathChar(b[i])) return 0;
  }
  return 1;
}

int SameFile(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return 0;
  if (SamePath(a, b) != 0 || NormalForm(a) == NormalForm(b)) return 1;
  const auto first = IdentityOf(a);
  if (!first) return 0;
  const auto second = IdentityOf(b);
  return second && *first == *second ? 1 : 0;
}

int HardLinked(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return 0;
  struct stat first {};
  struct stat second {};
  Identity firstEntry{};
  Identity secondEntry{};
  if (!EntryOf(a, first, firstEntry) || !EntryOf(b, second, secondEntry)) return 0;
  if (S_ISLNK(first.st_mode) || S_ISLNK(second.st_mode)) return 0;
  const bool oneFile = first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  return oneFile && firstEntry != secondEntry ? 1 : 0;
}

int isdir(const char* path) {
  if (path == nullptr || *path == '\0') return 0;
  struct stat st {};
  return StatPath(path, st) && S_ISDIR(st.st_mode) ? 1 : 0;
}

int CopyFile(const char* src, const char* dst) {
  if (src == nullptr || dst == nullptr) return 0;
  if (SameFile(src, dst) != 0) return 0;
  const bool replaces = exists(dst) != 0;
  if (replaces && isord(dst) == 0) return 0;
  if (exists(src) == 0 || isord(src) == 0) return 0;

  // The buffers are declared before the streams so that they are released
  // only after the streams have been closed (and flushed) on every return.
  MallocPtr<char> outBuffer;
  MallocPtr<char> inBuffer;
  // An existing file keeps its bytes until the open files show that it is not
  // the source, reached by a name that SameFile could not tell.
  FilePtr out(OpenFile(dst, replaces ? "r+b" : "wb"));
  if (!out) return 0;
  outBuffer = EnlargeBuffer(out.get());
  FilePtr in(OpenFile(src, "rb"));
  if (!in) return 0;
  inBuffer = EnlargeBuffer(in.get());
  if (!EmptyUnlessSame(out.get(), in.get())) return 0;

  std::array<char, kCopyBlock> block{};
  for (;;) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), in.get());
    if (std::ferror(in.get()) != 0) return 0;
    if (got == 0) break;
    const std::size_t put = std::fwrite(block.data(), 1, got, out.get());
    if (std::ferror(out.get()) != 0 || put != got) return 0;
    if (std::feof(in.get()) != 0) break;
  }

  // Close the destination first: its close is where a full device shows.
  const bool outClosed = std::fclose(out.release()) == 0;
  const bool inClosed = std::fclose(in.release()) == 0;
  platform::Current().Sync();
  return outClosed && inClosed ? 1 : 0;
}

std::FILE* OpenFile(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  return platform::Current().OpenStream(path, Where(path, Follow::kYes), mode);
}

void FileCloser::operator()(std::FILE* stream) const noexcept {
  if (stream != nullptr) std::fclose(stream);
}

int MakeDirectory(const char* path, mode_t mode) {
  if (path == nullptr) return EINVAL;
  const HostPath host = Where(path, Follow::kNo);
  if (!Allowed(platform::FileCall::kMakeDirectory, path) || !Reachable(host)) return errno;
  return ::mkdirat(host.dir(), host.name.c_str(), mode) == 0 ? 0 : errno;
}

int SetMode(const char* path, mode_t mode) {
  if (path == nullptr) return EINVAL;
  const HostPath host = Where(path, Follow::kYes);
  if (!Allowed(platform::FileCall::kSetMode, path) || !Reachable(host)) return errno;
  if (!host.noFollow) return ::fchmodat(host.dir(), host.name.c_str(), mode, 0) == 0 ? 0 : errno;
  // fchmodat() cannot be told not to follow a link on every kernel: change the
  // mode through a descriptor of the very file instead.
  const platform::UniqueFd file(
      ::openat(host.dir(), host.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file.valid()) return errno;
  return ::fchmod(file.get(), mode) == 0 ? 0 : errno;
}

int SyncFile(std::FILE* stream) {
  if (stream == nullptr) {
    errno = EINVAL;
    return 0;
  }
  const int error = platform::Current().SyncFile(stream);
  if (error != 0) errno = error;
  return error == 0 ? 1 : 0;
}

}  // namespace upd
