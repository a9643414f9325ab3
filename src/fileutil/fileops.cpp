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
#include <string>

#include "platform/platform.h"
#include "strutil/heapstr.h"
#include "strutil/strcompare.h"

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
  if (!replace && exists(newName) != 0) return kRenameNewExists;
  const HostPath from = Where(oldName, Follow::kNo);
  const HostPath to = Where(newName, Follow::kNo);
  if (Allowed(platform::FileCall::kRename, oldName, newName) && Reachable(from) &&
      Reachable(to) &&
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

int CopyFile(const char* src, const char* dst) {
  if (src == nullptr || dst == nullptr) return 0;
  if (SamePath(src, dst) != 0) return 0;
  if (exists(dst) != 0 && isord(dst) == 0) return 0;
  if (exists(src) == 0 || isord(src) == 0) return 0;

  // The buffers are declared before the streams so that they are released
  // only after the streams have been closed (and flushed) on every return.
  MallocPtr<char> outBuffer;
  MallocPtr<char> inBuffer;
  FilePtr out(OpenFile(dst, "wb"));
  if (!out) return 0;
  outBuffer = EnlargeBuffer(out.get());
  FilePtr in(OpenFile(src, "rb"));
  if (!in) return 0;
  inBuffer = EnlargeBuffer(in.get());

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
