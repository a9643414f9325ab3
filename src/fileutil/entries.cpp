#include "fileutil/entries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace upd {

namespace {

EntryKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kFile;
  if (S_ISDIR(mode)) return EntryKind::kFolder;
  if (S_ISLNK(mode)) return EntryKind::kLink;
  if (S_ISFIFO(mode)) return EntryKind::kFifo;
  if (S_ISSOCK(mode)) return EntryKind::kSocket;
  return EntryKind::kDevice;  // character or block
}

EntryKind LstatKind(int dir, const char* name) {
  struct stat st {};
  if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::kNone;
  return KindOfMode(st.st_mode);
}

// The type readdir() reports saves an lstat() per entry; some file systems
// report none.
EntryKind KindOfDirent(const dirent64& entry, int dir) {
  switch (entry.d_type) {
    case DT_REG:
      return EntryKind::kFile;
    case DT_DIR:
      return EntryKind::kFolder;
    case DT_LNK:
      return EntryKind::kLink;
    case DT_FIFO:
      return EntryKind::kFifo;
    case DT_SOCK:
      return EntryKind::kSocket;
    case DT_CHR:
    case DT_BLK:
      return EntryKind::kDevice;
    default:
      return LstatKind(dir, entry.d_name);
  }
}

struct DirCloser {
  void operator()(DIR* dir) const noexcept { ::closedir(dir); }
};

// Opens folder `name` in `dir` to list; nullptr when it is none. Below the root
// a link is refused even if one took a folder's place after it was listed, and
// nothing that is not a folder is opened far enough to block (a FIFO).
DIR* OpenFolder(int parent, const char* name, bool noFollow) {
  const int flags = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0);
  const int fd = ::openat(parent, name, flags);
  if (fd < 0) return nullptr;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) ::close(fd);
  return dir;
}

}  // namespace

EntryKind EntryKindOf(const char* path) {
  if (path == nullptr || *path == '\0') return EntryKind::kNone;
  const platform::HostPath host = platform::Current().Resolve(path, platform::Follow::kNo);
  return host.error != 0 ? EntryKind::kNone : LstatKind(host.dir(), host.name.c_str());
}

int WalkEntries(const char* root, const std::function<void(const std::string&, EntryKind)>& visit) {
  if (root == nullptr || *root == '\0') return 0;
  const platform::HostPath host = platform::Current().Resolve(root, platform::Follow::kYes);
  if (host.error != 0) return 0;
  const std::unique_ptr<DIR, DirCloser> top(OpenFolder(host.dir(), host.name.c_str(), host.noFollow));
  if (!top) return 0;
  const int rootFd = ::dirfd(top.get());
  int complete = 1;
  // Folders still to list, relative to the root ("" is the root itself); an
  // explicit stack, so that no depth of folders can exhaust the call stack.
  std::vector<std::string> pending{""};
  std::vector<std::pair<std::string, EntryKind>> listed;
  while (!pending.empty()) {
    const std::string folder = std::move(pending.back());
    pending.pop_back();
    const std::unique_ptr<DIR, DirCloser> dir(
        OpenFolder(rootFd, folder.empty() ? "." : folder.c_str(), !folder.empty()));
    if (!dir) {
      complete = 0;
      continue;
    }
    listed.clear();
    // readdir64(): on a 32-bit build the plain one fails (EOVERFLOW) on file
    // systems whose directory offsets or inode numbers need 64 bits.
    for (;;) {
      errno = 0;
      const dirent64* entry = ::readdir64(dir.get());
      if (entry == nullptr) {
        if (errno != 0) complete = 0;
        break;
      }
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      listed.emplace_back(name, KindOfDirent(*entry, ::dirfd(dir.get())));
    }
    std::sort(listed.begin(), listed.end());
    const std::size_t firstChild = pending.size();
    for (const auto& [name, kind] : listed) {
      const std::string relative = folder.empty() ? name : folder + "/" + name;
      visit(relative, kind);
      if (kind == EntryKind::kFolder) pending.push_back(relative);
    }
    // The stack pops the last pushed first: turn them round to keep name order.
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstChild), pending.end());
  }
  return complete;
}

}  // namespace upd
