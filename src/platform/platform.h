// The one seam between the updater and the operating system.
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
// touches files through them.
#pragma once

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

class Platform {
 public:
  virtual ~Platform() = default;

  /// The host path for an instrument path. The empty path stays empty.
  [[nodiscard]] virtual std::string Resolve(std::string_view path) const = 0;

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

  /// fopen() of `hostPath`, which instrument path `path` resolved to.
  [[nodiscard]] virtual std::FILE* OpenStream(std::string_view path, const std::string& hostPath,
                                              const char* mode) = 0;

  /// Asked just before `call` changes instrument path `path` (for a rename, the
  /// old name). Returns 0 to let it go ahead, or the errno value that it fails
  /// with instead, without being made.
  [[nodiscard]] virtual int BeforeChange(FileCall call, std::string_view path) = 0;
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
  [[nodiscard]] std::string Resolve(std::string_view path) const override;
  [[nodiscard]] int Mount(const char* source, const char* target, const char* fstype,
                          unsigned long flags) override;
  [[nodiscard]] int Unmount(const char* target) override;
  int RunCommand(CommandKind kind, const char* command) override;
  void Sync() override;
  [[nodiscard]] int SyncFile(std::FILE* stream) override;
  void Sleep(unsigned seconds) override;
  [[nodiscard]] std::FILE* OpenStream(std::string_view path, const std::string& hostPath,
                                      const char* mode) override;
  [[nodiscard]] int BeforeChange(FileCall call, std::string_view path) override;
};

}  // namespace upd::platform
