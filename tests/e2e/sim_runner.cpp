#include "sim_runner.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>

#include <gtest/gtest.h>

#include "sim/sim_paths.h"
#include "support/digests.h"

namespace upd::e2e {

namespace {

Outcome RunProgram(std::initializer_list<const char*> program,
                   const std::vector<std::string>& args) {
  std::string command;
  for (const char* word : program) command += sim::ShellQuote(word) + ' ';
  for (const std::string& arg : args) command += sim::ShellQuote(arg) + ' ';
  return Shell(command);
}

}  // namespace

Outcome Shell(const std::string& command) {
  test::TempDir capture;
  const std::string full =
      command + " >" + sim::ShellQuote(capture / "out") + " 2>" + sim::ShellQuote(capture / "err");
  const int status = std::system(full.c_str());
  return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(capture / "out"),
                 test::ReadFile(capture / "err")};
}

Outcome Sim(const std::vector<std::string>& args) {
  return RunProgram({UPDATE_SIM_COMMAND}, args);
}

Outcome MediumTool(const std::vector<std::string>& args) {
  return RunProgram({UPDATE_MEDIUM_COMMAND}, args);
}

std::vector<std::string> ThenRestart(std::vector<std::string> steps) {
  steps.insert(steps.end(),
               {"sync", "umount /mnt -> 0", "display Please remove USB device.",
                "unplug /dev/disk/by-label/CORVENAL", "sleep 1", "main-application started"});
  return steps;
}

std::string Shown(int code) {
  std::string line = "display Error updating firmware: ";
  return line += std::to_string(code);
}

std::string OneStep(const std::string& step) {
  return "SectionList\nSequence = S\nS\n" + step;
}

std::string Transfer(const std::string& src, const std::string& dest, std::string_view content,
                     const std::string& interim) {
  std::string step = "Operation = TransferFile\nSrcDir = /mnt/firmware\nSrcFile = ";
  step += src + "\nInterimDir = " + interim + "\nInterimFile = " + src +
          ".new\nDestDir = /home/Corvenal/bin\nDestFile = " + dest +
          "\nBackupDir = /home/Corvenal/bin\nBackupFile = " + dest +
          ".bak\nMD5Hash = " + test::Md5Hex(content) +
          "\nSHA256Hash = " + test::Sha256Hex(content) + "\n";
  return step;
}

std::string Logged(int code) {
  return code == 0 ? "" : "1902 " + std::to_string(code) + "\n";
}

Instrument::Instrument() : dir_(temp_ / "instrument"), medium_(temp_ / "medium") {
  if (Sim({"init", dir_}).status != 0) std::abort();
  std::filesystem::create_directories(medium_ + "/firmware");
}

std::string Instrument::Read(const std::string& path) const {
  return test::ReadFile(Host(path));
}

bool Instrument::Mounted() const {
  return std::filesystem::exists(Host("/sim/mount"));
}

bool Instrument::Executable(const std::string& path) const {
  struct stat st {};
  return ::stat(Host(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & 07777) == 0755;
}

void Instrument::Plug(const std::string& manifest) const {
  if (!manifest.empty()) test::WriteFile(medium_ + "/firmware/AuxInfo.txt", manifest);
  const Outcome plug = Sim({"plug", dir_, medium_});
  EXPECT_EQ(plug.status, 0) << plug.err;
}

Outcome Instrument::Run(const std::vector<std::string>& args,
                        const std::vector<std::string>& options) const {
  std::vector<std::string> full = {"run", dir_};
  full.insert(full.end(), options.begin(), options.end());
  full.push_back("--");
  full.insert(full.end(), args.begin(), args.end());
  return Sim(full);
}

std::vector<std::string> Instrument::Timeline() const {
  std::ifstream in(dir_ + "/sim/events.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Instrument::AfterStartup() const {
  const auto all = Timeline();
  const auto start = std::find(all.rbegin(), all.rend(), "display Updating firmware...");
  return start == all.rend() ? all : std::vector<std::string>(start.base(), all.end());
}

}  // namespace upd::e2e
