#include "platform/platform.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace upd::platform {

namespace {

LinuxPlatform& RealPlatform() {
  static LinuxPlatform real;
  return real;
}

Platform* g_current = nullptr;

}  // namespace

Platform& Current() {
  return g_current != nullptr ? *g_current : RealPlatform();
}

void Install(Platform* platform) {
  g_current = platform;
}

ScopedPlatform::ScopedPlatform(Platform& platform) : previous_(g_current) {
  g_current = &platform;
}

ScopedPlatform::~ScopedPlatform() {
  g_current = previous_;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

HostPath HostPath::Plain(std::string path) {
  HostPath host;
  host.name = std::move(path);
  return host;
}

HostPath HostPath::Unreachable(int error) {
  HostPath host;
  host.error = error;
  return host;
}

int OpenFlags(const char* mode) {
  if (mode == nullptr || mode[0] == '\0' || std::strchr("rwa", mode[0]) == nullptr) {
    errno = EINVAL;
    return -1;
  }
  // Only the characters before a ',' are flags, as for fopen().
  const std::string_view flags(mode, std::strcspn(mode, ","));
  int result = flags.find('+') != std::string_view::npos ? O_RDWR
               : mode[0] == 'r'                          ? O_RDONLY
                                                         : O_WRONLY;
  if (mode[0] == 'w') result |= O_CREAT | O_TRUNC;
  if (mode[0] == 'a') result |= O_CREAT | O_APPEND;
  if (flags.find('x') != std::string_view::npos) result |= O_EXCL;
  if (flags.find('e') != std::string_view::npos) result |= O_CLOEXEC;
  return result;
}

std::FILE* OpenAt(const HostPath& where, const char* mode) {
  if (where.error != 0) {
    errno = where.error;
    return nullptr;
  }
  int flags = OpenFlags(mode);
  if (flags < 0) return nullptr;
  if (where.noFollow) flags |= O_NOFOLLOW;
  const int fd = ::openat(where.dir(), where.name.c_str(), flags | O_CLOEXEC, 0666);
  return fd < 0 ? nullptr : StreamOn(fd, mode);
}

std::FILE* StreamOn(int fd, const char* mode) {
  std::FILE* stream = ::fdopen(fd, mode);
  if (stream == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return stream;
}

HostPath LinuxPlatform::Resolve(std::string_view path, Follow /*last*/) const {
  return HostPath::Plain(std::string(path));
}

int LinuxPlatform::Mount(const char* source, const char* target, const char* fstype,
                         unsigned long flags) {
  return ::mount(source, target, fstype, flags, nullptr) == 0 ? 0 : errno;
}

int LinuxPlatform::Unmount(const char* target) {
  return ::umount(target) == 0 ? 0 : errno;
}

int LinuxPlatform::RunCommand(CommandKind /*kind*/, const char* command) {
  // Our buffered output must come before anything the command prints.
  std::fflush(nullptr);
  return std::system(command);
}

void LinuxPlatform::Sync() {
  ::sync();
}

int LinuxPlatform::SyncFile(std::FILE* stream) {
  if (std::fflush(stream) != 0) return errno;
  return ::fsync(::fileno(stream)) == 0 ? 0 : errno;
}

void LinuxPlatform::Sleep(unsigned seconds) {
  // A signal cuts sleep() short; the caller asked for the whole time.
  while (seconds > 0) seconds = ::sleep(seconds);
}

int LinuxPlatform::DescriptorOf(std::FILE* stream) const {
  return ::fileno(stream);
}

std::FILE* LinuxPlatform::OpenStream(std::string_view /*path*/, const HostPath& where,
                                     const char* mode) {
  return OpenAt(where, mode);
}

int LinuxPlatform::BeforeChange(FileCall /*call*/, std::string_view /*path*/,
                                std::string_view /*other*/) {
  return 0;
}

}  // namespace upd::platform
