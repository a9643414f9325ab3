#include "platform/platform.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

std::string LinuxPlatform::Resolve(std::string_view path) const {
  return std::string(path);
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

std::FILE* LinuxPlatform::OpenStream(std::string_view /*path*/, const std::string& hostPath,
                                     const char* mode) {
  return std::fopen(hostPath.c_str(), mode);
}

int LinuxPlatform::BeforeChange(FileCall /*call*/, std::string_view /*path*/) {
  return 0;
}

}  // namespace upd::platform
