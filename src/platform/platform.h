// src/platform: the one seam between the updater and the operating system.
//
// Everything that differs between the instrument and a simulated instrument goes
// through `Platform`: mounting, running shell commands, sync and sleep, the
// resolution of every path before a file-system call, the opening of streams,
// and a say before every call that changes files. The real implementation calls
// Linux, leaves paths unchanged and lets every change go ahead; the simulated
// instrument maps paths under its own directory, records what happens and can
// make chosen calls fail as a faulty instrument would.
//
// Only the file utilities (src/fileutil) resolve paths; every other subsystem
// touches files through them. A resolved path is a name relative to an open
// directory, for the *at calls: a path string handed back to the kernel would be
// resolved again, and a simulation confines paths by resolving them itself.
#pragma once

#include <fcntl.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace upd::platform {

/// Who a shell command belongs to. The instrument's own programs (splash program,
/// main application, reboot) are told apart from the commands a manifest names,
/// so that a simulation can run the former and record the latter.
enum class CommandKind { kInstrument, kManifest };

/// The calls by path that change files, apart from opening a stream.
enum class FileCall { kRemove, kRename, kLink, kMakeDirectory, kSetMode };

/// Whether a symbolic link in the last component of a path is followed.
enum class Follow { kNo, kYes };

/// An open file descriptor, closed when it goes out of scope.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

/// Where an instrument path lies on the host: `name` relative to the directory
/// `dir()` (AT_FDCWD when none is held), ready for the *at calls.
struct HostPath {
  UniqueFd directory;
  std::string name;
  /// 0, or the errno value that every call on a path that cannot be reached fails with.
  int error = 0;
  /// Links were followed, where at all, while resolving: `name` must not be
  /// followed again (AT_SYMLINK_NOFOLLOW, O_NOFOLLOW).
  bool noFollow = false;

  [[nodiscard]] int dir() const { return directory.valid() ? directory.get() : AT_FDCWD; }

  /// `path` as it stands, relative to the working directory.
  static HostPath Plain(std::string path);
  /// A path that cannot be reached: every call on it fails with `error`.
  static HostPath Unreachable(int error);
};

/// The open(2) flags for fopen() mode `mode` (r, w, a, optionally +, b, x, e),
/// or -1 with errno EINVAL for a mode fopen() refuses.
[[nodiscard]] int OpenFlags(const char* mode);

/// fdopen() of `fd` with `mode`; on failure `fd` is closed and nullptr
/// returned with errno set.
[[nodiscard]] std::FILE* StreamOn(int fd, const char* mode);

/// Opens `where` as fopen() would with `mode`,
/// not following a last link when `where.noFollow` says so. nullptr with errno set on failure.
[[nodiscard]] std::FILE* OpenAt(const HostPath& where, const char* mode);

class Platform {
 public:
  virtual ~Platform() = default;

  /// Where instrument path `path` lies on the host, a last link followed or not
  /// as `last` says. The empty path names nothing.
  [[nodiscard]] virtual HostPath Resolve(std::string_view path, Follow last) const = 0;

  /// Mounts `source` on `target`. Returns 0 or the errno value of the failure.
  [[nodiscard]] virtual int Mount(const char* source, const char* target, const char* fstype,
                                  unsigned long flags) = 0;

  /// Unmounts `target`. Returns 0 or the errno value of the failure.
  [[nodiscard]] virtual int Unmount(const char* target) = 0;

  /// Runs `command` through the shell and waits for it. Returns the wait status
  /// as system() does, or -1 when no shell could be started.
  virtual int RunCommand(CommandKind kind, const char* command) = 0;

  /// Flushes every file-system buffer to its device.
  virtual void Sync() = 0;

  /// Flushes `stream`, an open stream that writes, and its file's data to the
  /// device (fflush and fsync). Returns 0 or the errno value of the failure.
  [[nodiscard]] virtual int SyncFile(std::FILE* stream) = 0;

  /// Sleeps whole seconds.
  virtual void Sleep(unsigned seconds) = 0;

  /// The file descriptor under `stream`, a stream that OpenStream opened (a
  /// stream wrapped for a simulated fault has none of its own), for fstat and
  /// ftruncate; -1 when there is none.
  [[nodiscard]] virtual int DescriptorOf(std::FILE* stream) const = 0;

  /// Opens `where`, which instrument path `path` resolved to (links followed),
  /// as fopen() would.
  [[nodiscard]] virtual std::FILE* OpenStream(std::string_view path, const HostPath& where,
                                              const char* mode) = 0;

  /// Asked just before `call` changes instrument path `path`; for a rename or a
  /// link `path` is the existing name and `other` the new one (else empty).
  /// Returns 0 to let it go ahead, or the errno value that it fails with
  /// instead, without being made.
  [[nodiscard]] virtual int BeforeChange(FileCall call, std::string_view path,
                                         std::string_view other) = 0;
};

/// The platform in force: the real Linux one unless another has been installed.
Platform& Current();

/// Installs `platform` for the whole process (nullptr restores the real one).
/// The caller keeps ownership and must keep it alive while installed.
void Install(Platform* platform);

/// Installs a platform for the lifetime of the guard (tests, the simulation).
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& platform);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

/// The real instrument: Linux calls, paths unchanged.
class LinuxPlatform final : public Platform {
 public:
  [[nodiscard]] HostPath Resolve(std::string_view path, Follow last) const override;
  [[nodiscard]] int Mount(const char* source, const char* target, const char* fstype,
                          unsigned long flags) override;
  [[nodiscard]] int Unmount(const char* target) override;
  int RunCommand(CommandKind kind, const char* command) override;
  void Sync() override;
  [[nodiscard]] int SyncFile(std::FILE* stream) override;
  void Sleep(unsigned seconds) override;
  [[nodiscard]] int DescriptorOf(std::FILE* stream) const override;
  [[nodiscard]] std::FILE* OpenStream(std::string_view path, const HostPath& where,
                                      const char* mode) override;
  [[nodiscard]] int BeforeChange(FileCall call, std::string_view path,
                                 std::string_view other) override;
};

}  // namespace upd::platform
