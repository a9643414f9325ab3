#include "sim/sim_platform.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "driver/instrument_paths.h"
#include "sim/sim_main.h"
#include "sim/sim_paths.h"

namespace upd::sim {

namespace fs = std::filesystem;

namespace {

std::string ErrnoName(int error) {
  if (error == 0) return "0";
  const char* name = ::strerrorname_np(error);
  return name != nullptr ? name : std::to_string(error);
}

std::string StatusText(int status) {
  if (status == -1) return "-1";
  if (WIFEXITED(status)) return std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return std::to_string(status);
}

// Runs `command` with /bin/sh in the instrument's directory, with
// UPDATE_SIM_ROOT naming it, and waits; the wait status as system() gives it.
int RunShell(const std::string& root, const std::string& command) {
  // Our buffered output must come before anything the command prints.
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == -1) return -1;
  if (child == 0) {
    if (::chdir(root.c_str()) != 0) ::_exit(127);
    ::setenv("UPDATE_SIM_ROOT", root.c_str(), 1);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) == -1) {
    if (errno != EINTR) return -1;
  }
  return status;
}

}  // namespace

void ReapDescendants() {
  for (;;) {
    if (::waitpid(-1, nullptr, 0) == -1 && errno != EINTR) return;
  }
}

SimPlatform::SimPlatform(Instrument instrument, CommandMode mode, FaultPlan faults)
    : instrument_(std::move(instrument)), mode_(mode), faults_(std::move(faults)) {}

std::string SimPlatform::Resolve(std::string_view path) const {
  return instrument_.Host(path);
}

int SimPlatform::Mount(const char* source, const char* target, const char* fstype,
                       unsigned long flags) {
  const std::string point = instrument_.Host(target);
  const std::string node = instrument_.Host(source);
  std::error_code ec;
  int result = 0;
  if (fs::is_symlink(fs::symlink_status(point, ec))) {
    result = EBUSY;  // a medium is mounted there already
  } else if (!fs::is_directory(point, ec)) {
    result = ENOENT;
  } else if (!fs::is_empty(point, ec)) {
    result = EBUSY;  // the simulation cannot cover files: a mount point must be empty
  } else if (!fs::exists(node, ec)) {
    result = ENOENT;
  } else if (!fs::is_directory(node, ec)) {
    result = ENOTBLK;
  } else {
    // The mount is a link from the mount point to the medium itself, so it
    // outlasts the device node and the run, as a real mount does.
    const fs::path medium = fs::canonical(node, ec);
    fs::remove(point, ec);
    if (!ec) fs::create_directory_symlink(medium, point, ec);
    if (ec) result = EIO;
  }
  instrument_.Record(std::string("mount ") + source + ' ' + target + ' ' + fstype + ' ' +
                     std::to_string(flags) + " -> " + ErrnoName(result));
  return result;
}

int SimPlatform::Unmount(const char* target) {
  const std::string point = instrument_.Host(target);
  std::error_code ec;
  int result = 0;
  if (const Fault* fault = faults_.Find(FaultCall::kUmount, target)) {
    result = fault->error;  // the medium stays mounted
  } else if (!fs::is_symlink(fs::symlink_status(point, ec))) {
    result = EINVAL;  // nothing is mounted there
  } else {
    fs::remove(point, ec);
    if (!ec) fs::create_directory(point, ec);
    if (ec) result = EIO;
  }
  instrument_.Record(std::string("umount ") + target + " -> " + ErrnoName(result));
  return result;
}

int SimPlatform::RunCommand(platform::CommandKind kind, const char* command) {
  return kind == platform::CommandKind::kInstrument ? RunInstrumentProgram(command)
                                                    : RunManifestCommand(command);
}

int SimPlatform::RunInstrumentProgram(const char* command) {
  // The program is the command's first word, an instrument path: run the stub
  // that stands for it and leave the rest of the command line to the shell.
  const std::string_view text = command;
  const std::size_t end = std::min(text.find(' '), text.size());
  const std::string_view program = text.substr(0, end);
  const int status = RunShell(
      instrument_.root(), ShellQuote(instrument_.Host(program)) + std::string(text.substr(end)));

  // The splash stub has recorded what it showed.
  const std::string shown = program == kSplashProgram ? instrument_.LastEvent() : std::string();
  constexpr std::string_view kDisplay = "display ";
  if (screens_ != nullptr && shown.starts_with(kDisplay)) {
    screens_->Render(std::string_view(shown).substr(kDisplay.size()));
  }
  // The technician pulls the stick as soon as the display asks for it.
  if (shown == "display Please remove USB device.") instrument_.Unplug();
  return status;
}

int SimPlatform::RunManifestCommand(const char* command) {
  if (mode_ == CommandMode::kRecord) {
    instrument_.Record(std::string("command ") + command + " -> recorded");
    return 0;
  }
  const int status = RunShell(instrument_.root(), command);
  instrument_.Record(std::string("command ") + command + " -> " + StatusText(status));
  return status;
}

void SimPlatform::Sync() {
  Change();
  durability_.SyncedAll();
  instrument_.Record("sync");
}

int SimPlatform::SyncFile(std::FILE* stream) {
  Change();
  if (std::fflush(stream) != 0) return errno;
  int fd = ::fileno(stream);
  if (fd == -1) {
    const auto wrapped = wrappedFds_.find(stream);
    if (wrapped == wrappedFds_.end()) return EBADF;
    fd = wrapped->second;
  }
  if (::fsync(fd) != 0) return errno;
  durability_.Synced(fd);
  return 0;
}

void SimPlatform::Sleep(unsigned seconds) {
  instrument_.Record("sleep " + std::to_string(seconds));
  slept_ += seconds;
  if (slept_ < kTimeLimit) return;
  // An hour is far beyond any wait of a run that ends: the updater waits for a
  // stick that no one pulls, or that the display never asked for, and on the
  // instrument it would wait forever.
  std::fflush(nullptr);
  std::fprintf(stderr,
               "update-sim: the run was ended after %u simulated seconds (the instrument would "
               "wait forever)\n",
               kTimeLimit);
  ReapDescendants();
  std::exit(kExitWaitsForever);
}

std::FILE* SimPlatform::OpenStream(std::string_view path, const std::string& hostPath,
                                   const char* mode) {
  const bool writes = std::strpbrk(mode, "wa+") != nullptr;
  if (writes) Change();
  if (const Fault* fault = writes ? faults_.Find(FaultCall::kCreate, path) : nullptr) {
    errno = fault->error;
    return nullptr;
  }
  // Only a run that can lose power needs to know what its files held.
  const bool tracked = writes && faults_.cutBefore != 0;
  std::FILE* real =
      tracked ? OpenTrackedStream(hostPath, mode, durability_) : std::fopen(hostPath.c_str(), mode);
  if (real == nullptr) return nullptr;
  const Fault* fault = faults_.Find(writes ? FaultCall::kWrite : FaultCall::kRead, path);
  if (fault == nullptr) return real;
  const int fd = ::fileno(real);
  std::FILE* wrapped = FaultyStream(real, *fault, mode);
  if (wrapped != nullptr) wrappedFds_[wrapped] = fd;
  return wrapped;
}

int SimPlatform::BeforeChange(platform::FileCall call, std::string_view path) {
  Change();
  FaultCall faultCall = FaultCall::kUnlink;
  switch (call) {
    case platform::FileCall::kRemove:
      faultCall = FaultCall::kUnlink;
      break;
    case platform::FileCall::kRename:
      faultCall = FaultCall::kRename;
      break;
    case platform::FileCall::kLink:
      faultCall = FaultCall::kLink;
      break;
    case platform::FileCall::kMakeDirectory:
      faultCall = FaultCall::kMkdir;
      break;
    case platform::FileCall::kSetMode:
      faultCall = FaultCall::kChmod;
      break;
  }
  const Fault* fault = faults_.Find(faultCall, path);
  return fault != nullptr ? fault->error : 0;
}

void SimPlatform::Change() {
  if (faults_.cutBefore == 0 || ++changes_ != faults_.cutBefore) return;
  // Nothing of the process survives a power cut: no buffer is flushed, no
  // handler runs, and the files lose what was never made durable.
  durability_.LoseUnsynced();
  ::kill(::getpid(), SIGKILL);
}

}  // namespace upd::sim
