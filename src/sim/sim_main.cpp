#include "sim/sim_main.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/instrument_paths.h"
#include "driver/build_info.h"
#include "driver/startup.h"
#include "platform/platform.h"
#include "sim/fault_plan.h"
#include "sim/instrument.h"
#include "sim/screens.h"
#include "sim/sim_platform.h"

namespace upd::sim {

namespace {

constexpr const char kUsage[] =
    "usage: update-sim init DIR\n"
    "       update-sim plug DIR MEDIUM [--port N] [--device PATH]\n"
    "       update-sim unplug DIR\n"
    "       update-sim run DIR [--commands record|run] [--screens] [--] ARGS...\n"
    "       update-sim --version\n";

int BadUse(const std::string& message) {
  std::fprintf(stderr, "update-sim: %s\n", message.c_str());
  return kExitBadUse;
}

std::optional<Instrument> OpenInstrument(const std::string& dir) {
  auto instrument = Instrument::Open(dir);
  if (!instrument)
    BadUse(dir + " is not a simulated instrument (make one with: update-sim init DIR)");
  return instrument;
}

// The text of the last `display` line that the timeline gained after its first
// `from` bytes; nothing when there is none.
std::optional<std::string> LastShown(const std::string& timeline, std::uintmax_t from) {
  constexpr std::string_view kDisplay = "display ";
  std::ifstream in(timeline, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  std::optional<std::string> shown;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(kDisplay)) shown = line.substr(kDisplay.size());
  }
  return shown;
}

// After a failed run, what a technician would read off the instrument, and the
// timeline under DIR as the user wrote it.
void ReportScreen(std::string dir, const Instrument& instrument, std::uintmax_t runStart) {
  const std::string timeline = instrument.TimelineFile();
  const auto shown = LastShown(timeline, runStart);
  if (!dir.ends_with('/')) dir += '/';
  dir += std::string_view(timeline).substr(instrument.root().size() + 1);
  const std::string screen = shown ? '"' + *shown + '"' : std::string("nothing");
  std::fprintf(stderr, "update-sim: the instrument shows %s (timeline: %s)\n", screen.c_str(),
               dir.c_str());
}

int Init(const std::vector<std::string_view>& args) {
  if (args.size() != 1) return BadUse("init takes one argument: DIR");
  const std::string problem = Instrument::Init(std::string(args[0]));
  return problem.empty() ? 0 : BadUse(problem);
}

int Plug(const std::vector<std::string_view>& args) {
  if (args.size() < 2) return BadUse("plug takes DIR MEDIUM [--port N] [--device PATH]");
  int port = 1;
  std::string device = kDefaultDevice;
  for (std::size_t i = 2; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return BadUse(std::string(args[i]) + " needs a value");
    const std::string_view value = args[i + 1];
    if (args[i] == "--port") {
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
      if (ec != std::errc() || end != value.data() + value.size() || port < 1 || port > 4) {
        return BadUse("port '" + std::string(value) + "' is not one of 1, 2, 3, 4");
      }
    } else if (args[i] == "--device") {
      device = value;
    } else {
      return BadUse("plug: unknown option " + std::string(args[i]));
    }
  }
  const auto instrument = OpenInstrument(std::string(args[0]));
  if (!instrument) return kExitBadUse;
  const std::string problem = instrument->Plug(std::string(args[1]), port, device);
  return problem.empty() ? 0 : BadUse(problem);
}

int Unplug(const std::vector<std::string_view>& args) {
  if (args.size() != 1) return BadUse("unplug takes one argument: DIR");
  const auto instrument = OpenInstrument(std::string(args[0]));
  if (!instrument) return kExitBadUse;
  instrument->Unplug();
  return 0;
}

int Run(const std::vector<std::string_view>& args) {
  if (args.empty()) {
    return BadUse("run takes DIR [--commands record|run] [--screens] [--] ARGS...");
  }
  std::size_t next = 1;
  CommandMode mode = CommandMode::kRecord;
  bool screens = false;
  for (;;) {
    if (next < args.size() && args[next] == "--screens") {
      screens = true;
      ++next;
    } else if (next < args.size() && args[next] == "--commands") {
      if (next + 1 >= args.size()) return BadUse("--commands needs record or run");
      if (args[next + 1] == "record") {
        mode = CommandMode::kRecord;
      } else if (args[next + 1] == "run") {
        mode = CommandMode::kRun;
      } else {
        return BadUse("--commands takes record or run, not " + std::string(args[next + 1]));
      }
      next += 2;
    } else {
      break;
    }
  }
  if (next < args.size() && args[next] == "--") ++next;

  auto instrument = OpenInstrument(std::string(args[0]));
  if (!instrument) return kExitBadUse;
  FaultPlan faults;
  if (const std::string problem = LoadFaultPlan(instrument->root(), faults); !problem.empty()) {
    return BadUse(problem);
  }
  // Checked before anything of the run is recorded.
  std::optional<ScreenRenderer> renderer;
  if (screens) {
    if (std::string problem = ScreenRenderer::Unavailable(); !problem.empty()) {
      return BadUse(problem);
    }
    renderer.emplace(*instrument);
    if (std::string problem = renderer->Start(); !problem.empty()) return BadUse(problem);
  }

  // Programs that the run starts in the background become our children when
  // their shell exits, so the run can wait for them before it returns.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1UL, 0UL, 0UL, 0UL);
  if (::chdir(instrument->root().c_str()) != 0) {
    return BadUse("cannot enter " + instrument->root());
  }
  ::setenv("UPDATE_SIM_ROOT", instrument->root().c_str(), 1);

  std::vector<std::string> argStrings = {"update"};
  std::string runLine = "run";
  for (std::size_t i = next; i < args.size(); ++i) {
    argStrings.emplace_back(args[i]);
    runLine += ' ';
    runLine += args[i];
  }
  std::error_code ec;
  const std::uintmax_t runStart = std::filesystem::file_size(instrument->TimelineFile(), ec);
  instrument->Record(runLine);
  std::vector<char*> argv;
  for (std::string& arg : argStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  SimPlatform simulated(*instrument, mode, std::move(faults));
  if (renderer) simulated.DrawScreens(&*renderer);
  const platform::ScopedPlatform installed(simulated);
  const int status = UpdateMain(static_cast<int>(argStrings.size()), argv.data());
  std::fflush(nullptr);
  ReapDescendants();
  if (status != 0) ReportScreen(std::string(args[0]), *instrument, ec ? 0 : runStart);
  return status;
}

}  // namespace

int SimMain(int argc, char** argv) {
  if (argc < 2) return BadUse("no subcommand (init, plug, unplug or run; --help shows usage)");
  const std::string_view command = argv[1];
  const std::vector<std::string_view> args(argv + 2, argv + argc);
  if (command == "-h" || command == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("update-sim %s\n", kReleaseVersion);
    return 0;
  }
  if (command == "init") return Init(args);
  if (command == "plug") return Plug(args);
  if (command == "unplug") return Unplug(args);
  if (command == "run") return Run(args);
  return BadUse("unknown subcommand '" + std::string(command) + "' (init, plug, unplug, run)");
}

}  // namespace upd::sim
