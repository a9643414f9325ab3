#include "sim/sim_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/instrument_paths.h"
#include "sim/sim_main.h"
#include "sim/sim_paths.h"

namespace upd::sim {

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

platform::UniqueFd OpenDirectory(const std::string& hostPath) {
  return platform::UniqueFd(::open(hostPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

// `path` with "." and ".." resolved on the text; "/" for the root itself.
std::string Normal(std::string_view path) {
  std::string normal = MapPath("", path);
  return normal.empty() ? "/" : normal;
}

// The inode that `where` names, not following a last link; nothing when none.
std::optional<struct stat> StatOf(const platform::HostPath& where) {
  struct stat st {};
  if (where.error != 0 ||
      ::fstatat(where.dir(), where.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return std::nullopt;
  }
  return st;
}

bool IsEmptyDirectory(const platform::HostPath& where) {
  const int fd =
      ::openat(where.dir(), where.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return false;
  }
  bool empty = true;
  // readdir64(), since a 32-bit build's readdir() fails on 64-bit offsets.
  errno = 0;
  while (const dirent64* entry = ::readdir64(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") empty = false;
  }
  if (errno != 0) empty = false;  // a folder that cannot be listed is no mount point
  ::closedir(dir);
  return empty;
}

// True when `where` is a device node of the simulation.
bool IsDeviceNode(const platform::HostPath& where) {
  const platform::UniqueFd fd(
      ::openat(where.dir(), where.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  std::array<char, 64> text{};
  const ssize_t got = fd.valid() ? ::read(fd.get(), text.data(), text.size()) : -1;
  return got >= 0 &&
         std::string_view(text.data(), static_cast<std::size_t>(got)) == kDeviceNodeText;
}

}  // namespace

void ReapDescendants() {
  for (;;) {
    if (::waitpid(-1, nullptr, 0) == -1 && errno != EINTR) return;
  }
}

SimPlatform::SimPlatform(Instrument instrument, CommandMode mode, FaultPlan faults)
    : instrument_(std::move(instrument)),
      mode_(mode),
      root_(OpenDirectory(instrument_.root())),
      faults_(std::move(faults)) {
  // A medium that an earlier run left mounted is still there.
  if (const auto medium = instrument_.MountedMedium()) medium_ = OpenDirectory(*medium);
}

bool SimPlatform::OnMedium(std::string_view path) const {
  return medium_.valid() && !path.empty() && BelowMountPoint(path).has_value();
}

platform::HostPath SimPlatform::Resolve(std::string_view path, platform::Follow last) const {
  if (path.empty()) return platform::HostPath::Unreachable(ENOENT);
  if (!root_.valid()) return platform::HostPath::Unreachable(EIO);
  if (const auto below = BelowMountPoint(path); medium_.valid() && below) {
    return ResolveInRoot(medium_.get(), *below, last, Links::kNone, walk_);
  }
  return ResolveInRoot(root_.get(), Normal(path), last, Links::kInRoot, walk_);
}

int SimPlatform::Mount(const char* source, const char* target, const char* fstype,
                       unsigned long flags) {
  const auto stick = instrument_.PluggedStick();
  const platform::HostPath point = Resolve(target, platform::Follow::kYes);
  const auto pointStat = StatOf(point);
  const platform::HostPath node = Resolve(source, platform::Follow::kYes);
  const auto nodeStat = StatOf(node);
  const auto stickStat =
      stick ? StatOf(Resolve(stick->device, platform::Follow::kYes)) : std::nullopt;
  int result = 0;
  if (medium_.valid()) {
    result = EBUSY;  // a medium is mounted already
  } else if (!pointStat || !S_ISDIR(pointStat->st_mode)) {
    result = ENOENT;
  } else if (BelowMountPoint(target) != "") {
    result = EINVAL;  // the simulation shows a medium at /mnt only
  } else if (!IsEmptyDirectory(point)) {
    result = EBUSY;  // the simulation cannot cover files: a mount point must be empty
  } else if (!nodeStat) {
    result = ENOENT;
  } else if (!stickStat || !IsDeviceNode(node) || stickStat->st_dev != nodeStat->st_dev ||
             stickStat->st_ino != nodeStat->st_ino) {
    result = ENOTBLK;  // a file, but not the plugged stick's device node
  } else if (platform::UniqueFd medium = OpenDirectory(stick->medium); !medium.valid()) {
    result = ENOENT;  // the stick's files are gone
  } else if (!instrument_.RecordMount(stick->medium)) {
    result = EIO;
  } else {
    medium_ = std::move(medium);
  }
  instrument_.Record(std::string("mount ") + source + ' ' + target + ' ' + fstype + ' ' +
                     std::to_string(flags) + " -> " + ErrnoName(result));
  return result;
}

int SimPlatform::Unmount(const char* target) {
  int result = 0;
  if (const Fault* fault = faults_.Find(FaultCall::kUmount, target)) {
    result = fault->error;  // the medium stays mounted
  } else if (!medium_.valid() || BelowMountPoint(target) != "") {
    result = EINVAL;  // nothing is mounted there
  } else if (!instrument_.RecordMount(std::nullopt)) {
    result = EIO;
  } else {
    medium_ = platform::UniqueFd();
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
  std::string shell = ShellQuote(instrument_.Host(program)) + std::string(text.substr(end));
  // A dry run never starts what a medium installed in the place of one of
  // these programs (for a real medium, the instrument's own binaries): the
  // executable file that is there runs as the stub that stands for it.
  const auto found = StatOf(Resolve(program, platform::Follow::kYes));
  const std::string_view stub = StubFor(program);
  if (mode_ == CommandMode::kRecord && !stub.empty() && found && S_ISREG(found->st_mode) &&
      (found->st_mode & S_IXUSR) != 0) {
    shell = "sh -c " + ShellQuote(stub) + ' ' + shell;
  }
  const int status = RunShell(instrument_.root(), shell);

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
  const int fd = DescriptorOf(stream);
  if (fd == -1) return EBADF;
  if (::fsync(fd) != 0) return errno;
  durability_.Synced(fd);
  return 0;
}

int SimPlatform::DescriptorOf(std::FILE* stream) const {
  const int fd = ::fileno(stream);
  if (fd != -1) return fd;
  const auto wrapped = wrappedFds_.find(stream);
  return wrapped == wrappedFds_.end() ? -1 : wrapped->second;
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

std::FILE* SimPlatform::OpenStream(std::string_view path, const platform::HostPath& where,
                                   const char* mode) {
  const bool writes = std::strpbrk(mode, "wa+") != nullptr;
  if (writes) Change();
  if (const Fault* fault = writes ? faults_.Find(FaultCall::kCreate, path) : nullptr) {
    errno = fault->error;
    return nullptr;
  }
  // A vfat stick holds no links, FIFOs or devices: such a file, put there by a
  // folder that stands for the stick, cannot be read as one.
  const auto found = OnMedium(path) ? StatOf(where) : std::nullopt;
  if (found && !S_ISREG(found->st_mode) && !S_ISDIR(found->st_mode)) {
    errno = EACCES;
    return nullptr;
  }
  // Only a run that can lose power needs to know what its files held.
  const bool tracked = writes && faults_.cutBefore != 0;
  std::FILE* real =
      tracked ? OpenTrackedStream(where, mode, durability_) : platform::OpenAt(where, mode);
  if (real == nullptr) return nullptr;
  const Fault* fault = faults_.Find(writes ? FaultCall::kWrite : FaultCall::kRead, path);
  if (fault == nullptr) return real;
  const int fd = ::fileno(real);
  std::FILE* wrapped = FaultyStream(real, *fault, mode);
  if (wrapped != nullptr) wrappedFds_[wrapped] = fd;
  return wrapped;
}

int SimPlatform::BeforeChange(platform::FileCall call, std::string_view path,
                              std::string_view other) {
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
  if (const Fault* fault = faults_.Find(faultCall, path)) return fault->error;
  // The medium is a file system of its own.
  const bool twoNames = call == platform::FileCall::kRename || call == platform::FileCall::kLink;
  if (twoNames && OnMedium(path) != OnMedium(other)) return EXDEV;
  return 0;
}

void SimPlatform::Change() {
  if (faults_.cutBefore == 0 || ++changes_ != faults_.cutBefore) return;
  // Nothing of the process survives a power cut: no buffer is flushed, no
  // handler runs, and the files lose what was never made durable.
  durability_.LoseUnsynced();
  ::kill(::getpid(), SIGKILL);
}

}  // namespace upd::sim
