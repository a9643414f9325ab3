#include "sim/instrument.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "common/instrument_paths.h"
#include "sim/sim_paths.h"

namespace upd::sim {

namespace fs = std::filesystem;

namespace {

constexpr const char kMarker[] = "/sim/instrument";
constexpr const char kTimeline[] = "/sim/events.log";
constexpr const char kStickState[] = "/sim/stick";
constexpr const char kMountState[] = "/sim/mount";
// What a device node of the simulation holds: it is a record, not a way to the
// medium, so nothing on the instrument leads out of its directory.

constexpr std::array<const char*, 7> kDirectories = {
    "/mnt",
    "/home/Corvenal/bin",
    "/home/Corvenal/log",
    "/home/Tobrin/bin",
    "/home/Tobrin/log",
    "/sbin",
    "/sim",
};

struct Stub {
  const char* path;
  const char* body;
};

// The instrument's own programs. Each finds the instrument's directory from its
// own path and records what it was asked to do, so the timeline proves that the
// updater's command line went through a real shell to a real program.
constexpr std::array<Stub, 3> kStubs = {{
    {kSplashProgram,
     "#!/bin/sh\n"
     "# Splash program of the simulated instrument: records the text it shows.\n"
     "root=\"${0%/home/Corvenal/bin/qsplash}\"\n"
     "printf 'display %s\\n' \"$2\" >> \"$root/sim/events.log\"\n"},
    {kMainApplication,
     "#!/bin/sh\n"
     "# Main application of the simulated instrument: records that it started.\n"
     "root=\"${0%/home/Corvenal/bin/corvenal}\"\n"
     "printf 'main-application started\\n' >> \"$root/sim/events.log\"\n"},
    {kRebootProgram,
     "#!/bin/sh\n"
     "# Reboot of the simulated instrument: records the request.\n"
     "root=\"${0%/sbin/reboot}\"\n"
     "printf 'reboot\\n' >> \"$root/sim/events.log\"\n"},
}};

bool WriteFile(const std::string& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string_view StubFor(std::string_view program) {
  for (const Stub& stub : kStubs) {
    if (program == stub.path) return stub.body;
  }
  return {};
}

std::string Instrument::Init(const std::string& dir) {
  std::error_code ec;
  if (fs::exists(dir, ec) && !(fs::is_directory(dir, ec) && fs::is_empty(dir, ec))) {
    return dir + " exists and is not an empty directory";
  }
  fs::create_directories(dir, ec);
  const fs::path root = fs::canonical(dir, ec);
  if (ec) return "cannot create " + dir + ": " + ec.message();
  for (const char* sub : kDirectories) {
    fs::create_directories(root.string() + sub, ec);
    if (ec) return "cannot create " + root.string() + sub + ": " + ec.message();
  }
  for (const Stub& stub : kStubs) {
    const std::string path = root.string() + stub.path;
    if (!WriteFile(path, stub.body)) return "cannot write " + path;
    fs::permissions(path,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    ec);
    if (ec) return "cannot make " + path + " executable: " + ec.message();
  }
  if (!WriteFile(root.string() + kTimeline, "") ||
      !WriteFile(root.string() + kMarker, "4271C simulated instrument\n")) {
    return "cannot write the simulation's files under " + root.string() + "/sim";
  }
  return {};
}

std::optional<Instrument> Instrument::Open(const std::string& dir) {
  std::error_code ec;
  const fs::path root = fs::canonical(dir, ec);
  if (ec || !fs::is_regular_file(root.string() + kMarker, ec)) return std::nullopt;
  return Instrument(root.string());
}

std::string Instrument::Host(std::string_view instrumentPath) const {
  // Text only: the mounted medium's files for /mnt/..., else the instrument's.
  if (const auto below = BelowMountPoint(instrumentPath)) {
    if (const auto medium = MountedMedium()) return *medium + *below;
  }
  return MapPath(root_, instrumentPath);
}

void Instrument::Record(std::string_view line) const {
  // Opened per line in append mode: the stubs append to the same file.
  std::FILE* log = std::fopen((root_ + kTimeline).c_str(), "a");
  if (log == nullptr) return;
  std::fwrite(line.data(), 1, line.size(), log);
  std::fputc('\n', log);
  std::fclose(log);
}

std::string Instrument::LastEvent() const {
  std::ifstream in(root_ + kTimeline, std::ios::binary);
  std::string line;
  std::string last;
  while (std::getline(in, line)) last = line;
  return last;
}

std::optional<Stick> Instrument::PluggedStick() const {
  std::ifstream in(root_ + kStickState);
  Stick stick{};
  if (!(in >> stick.port) || !(in >> std::ws) || !std::getline(in, stick.device) ||
      !std::getline(in, stick.medium)) {
    return std::nullopt;
  }
  return stick;
}

void Instrument::RemoveStickFiles(const Stick& stick) const {
  std::error_code ec;
  fs::remove(Host(stick.device), ec);
  fs::remove(Host(kUsbPresencePaths.at(static_cast<std::size_t>(stick.port - 1))), ec);
  fs::remove(root_ + kStickState, ec);
}

std::string Instrument::Plug(const std::string& medium, int port, const std::string& device) const {
  std::error_code ec;
  const fs::path mediumPath = fs::absolute(medium, ec);
  if (ec || !fs::is_directory(mediumPath, ec)) return medium + " is not a directory";
  const std::string node = Host(device);
  if (node.empty() || node == root_ || node.back() == '/') {
    return "'" + device + "' cannot be a device node";
  }

  if (const auto earlier = PluggedStick()) RemoveStickFiles(*earlier);
  if (fs::exists(fs::symlink_status(node, ec)) && ReadFile(node) != std::string(kDeviceNodeText)) {
    return device + " exists on the instrument and is not a device node of the simulation";
  }

  const std::string presence = Host(kUsbPresencePaths.at(static_cast<std::size_t>(port - 1)));
  fs::create_directories(presence, ec);
  if (ec) return "cannot create " + presence + ": " + ec.message();
  fs::create_directories(fs::path(node).parent_path(), ec);
  if (!WriteFile(node, kDeviceNodeText)) return "cannot create " + node;
  std::ostringstream state;
  state << port << ' ' << device << '\n' << mediumPath.lexically_normal().string() << '\n';
  if (!WriteFile(root_ + kStickState, state.str())) return "cannot record the stick";
  return {};
}

std::optional<std::string> Instrument::MountedMedium() const {
  std::optional<std::string> medium = ReadFile(root_ + kMountState);
  if (medium && medium->ends_with('\n')) medium->pop_back();
  return medium;
}

bool Instrument::RecordMount(const std::optional<std::string>& medium) const {
  if (medium) return WriteFile(root_ + kMountState, *medium + '\n');
  std::error_code ec;
  fs::remove(root_ + kMountState, ec);
  return !ec;
}

void Instrument::Unplug() const {
  const auto stick = PluggedStick();
  if (!stick) return;
  RemoveStickFiles(*stick);
  Record("unplug " + stick->device);
}

std::string Instrument::TimelineFile() const {
  return root_ + kTimeline;
}

}  // namespace upd::sim
