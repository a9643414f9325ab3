#include "sim_runner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>

#include "sim/sim_paths.h"

namespace upd::e2e {

namespace {

// The build names each program's command (on a cross build, the emulator and
// its options first), since an ARM program cannot always be started directly.
Outcome RunProgram(std::initializer_list<const char*> program,
                   const std::vector<std::string>& args) {
  test::TempDir capture;
  std::string command;
  for (const char* word : program) command += sim::ShellQuote(word) + ' ';
  for (const std::string& arg : args) command += sim::ShellQuote(arg) + ' ';
  command += '>';
  command += sim::ShellQuote(capture / "out");
  command += " 2>";
  command += sim::ShellQuote(capture / "err");
  const int status = std::system(command.c_str());
  return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(capture / "out"),
                 test::ReadFile(capture / "err")};
}

}  // namespace

Outcome Sim(const std::vector<std::string>& args) {
  return RunProgram({UPDATE_SIM_COMMAND}, args);
}

Outcome MediumTool(const std::vector<std::string>& args) {
  return RunProgram({UPDATE_MEDIUM_COMMAND}, args);
}

Instrument::Instrument() : dir_(temp_ / "instrument") {
  if (Sim({"init", dir_}).status != 0) std::abort();
}

std::string Instrument::Medium(const std::string& name) const {
  const std::string medium = temp_ / name;
  std::filesystem::create_directories(medium + "/firmware");
  return medium;
}

Outcome Instrument::Run(const std::vector<std::string>& args) const {
  std::vector<std::string> full = {"run", dir_, "--"};
  full.insert(full.end(), args.begin(), args.end());
  return Sim(full);
}

std::vector<std::string> Instrument::Timeline() const {
  std::ifstream in(dir_ + "/sim/events.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace upd::e2e
