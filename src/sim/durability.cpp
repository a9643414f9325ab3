#include "sim/durability.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace upd::sim {

namespace {

// The whole content of the regular file open at `fd`, read from its start
// without moving the descriptor's offset. false when it cannot be read.
bool ReadAll(int fd, std::string& content) {
  content.clear();
  std::array<char, 65536> block{};
  for (off_t at = 0;;) {
    const ssize_t got = ::pread(fd, block.data(), block.size(), at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    content.append(block.data(), static_cast<std::size_t>(got));
    at += got;
  }
}

bool KeyOf(int fd, dev_t& dev, ino_t& ino) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  dev = st.st_dev;
  ino = st.st_ino;
  return true;
}

}  // namespace

DurabilityTracker::~DurabilityTracker() {
  SyncedAll();
}

void DurabilityTracker::Opened(int fd) {
  Key key{};
  if (!KeyOf(fd, key.first, key.second) || files_.contains(key)) return;
  // A file whose content cannot be taken is not tracked: a cut keeps it as it is.
  std::string durable;
  if (!ReadAll(fd, durable)) return;
  // Above the standard streams, and not handed to the programs the run starts.
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (copy < 0) return;
  files_.emplace(key, File{copy, std::move(durable)});
}

void DurabilityTracker::Synced(int fd) {
  Key key{};
  if (!KeyOf(fd, key.first, key.second)) return;
  if (const auto file = files_.find(key); file != files_.end()) Drop(file);
}

void DurabilityTracker::SyncedAll() {
  while (!files_.empty()) Drop(files_.begin());
}

void DurabilityTracker::Drop(std::map<Key, File>::iterator file) {
  ::close(file->second.fd);
  files_.erase(file);
}

void DurabilityTracker::LoseUnsynced() const noexcept {
  for (const auto& [key, file] : files_) {
    // The duplicate shares the stream's flags, and pwrite() on an appending
    // descriptor writes at the end whatever offset it is given.
    const int flags = ::fcntl(file.fd, F_GETFL);
    if (flags != -1 && (flags & O_APPEND) != 0) ::fcntl(file.fd, F_SETFL, flags & ~O_APPEND);
    const std::string& durable = file.durable;
    if (::ftruncate(file.fd, static_cast<off_t>(durable.size())) != 0) continue;
    std::size_t put = 0;
    while (put < durable.size()) {
      const ssize_t n =
          ::pwrite(file.fd, durable.data() + put, durable.size() - put, static_cast<off_t>(put));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      put += static_cast<std::size_t>(n);
    }
  }
}

std::FILE* OpenTrackedStream(const platform::HostPath& where, const char* mode,
                             DurabilityTracker& tracker) {
  if (where.error != 0) {
    errno = where.error;
    return nullptr;
  }
  int flags = platform::OpenFlags(mode);
  if (flags < 0) return nullptr;
  const bool truncate = (flags & O_TRUNC) != 0;
  const bool update = (flags & O_ACCMODE) == O_RDWR;
  flags &= ~(O_TRUNC | O_ACCMODE);
  if (where.noFollow) flags |= O_NOFOLLOW;
  constexpr mode_t kNewFileMode = 0666;  // as fopen(); the umask applies

  // Opened for reading too, so that the tracker can take the content before a
  // truncation; a file that may be written but not read opens as fopen() would
  // open it and is not tracked.
  const char* name = where.name.c_str();
  int fd = ::openat(where.dir(), name, flags | O_RDWR | O_CLOEXEC, kNewFileMode);
  const bool readable = fd >= 0;
  if (fd < 0 && errno == EACCES && !update) {
    fd = ::openat(where.dir(), name, flags | O_WRONLY | O_CLOEXEC, kNewFileMode);
  }
  if (fd < 0) return nullptr;
  if (readable) tracker.Opened(fd);

  struct stat st {};
  if (truncate && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  return platform::StreamOn(fd, mode);
}

}  // namespace upd::sim
