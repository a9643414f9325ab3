// Drives the real update-sim and update-medium programs as subprocesses.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "sim/sim_paths.h"
#include "support/digests.h"
#include "support/test_support.h"

namespace upd::e2e {

/// The sample medium, and the main application's path on the instrument.
inline const std::string kSample = UPD_SOURCE_DIR "/examples/medium";
constexpr const char kApp[] = "/home/Corvenal/bin/corvenal";

struct Outcome {
  int status;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

/// `command` run by /bin/sh, with what it printed.
inline Outcome Shell(const std::string& command) {
  test::TempDir capture;
  const std::string full =
      command + " >" + sim::ShellQuote(capture / "out") + " 2>" + sim::ShellQuote(capture / "err");
  const int status = std::system(full.c_str());
  return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(capture / "out"),
                 test::ReadFile(capture / "err")};
}

/// update-sim or update-medium with `args` (the build names their commands).
inline Outcome RunProgram(std::vector<std::string> words, const std::vector<std::string>& args) {
  std::string command;
  words.insert(words.end(), args.begin(), args.end());
  for (const std::string& word : words) command += sim::ShellQuote(word) + ' ';
  return Shell(command);
}
inline Outcome Sim(const std::vector<std::string>& args) {
  return RunProgram({UPDATE_SIM_COMMAND}, args);
}
inline Outcome MediumTool(const std::vector<std::string>& args) {
  return RunProgram({UPDATE_MEDIUM_COMMAND}, args);
}

/// `steps`, then the timeline of a run's ending that restarts the main application.
inline std::vector<std::string> ThenRestart(std::vector<std::string> steps) {
  steps.insert(steps.end(),
               {"sync", "umount /mnt -> 0", "display Please remove USB device.",
                "unplug /dev/disk/by-label/CORVENAL", "sleep 1", "main-application started"});
  return steps;
}

/// The timeline line of the display showing `code`.
inline std::string Shown(int code) {
  std::string line = "display Error updating firmware: ";
  return line += std::to_string(code);
}

/// The error log's content once `code` has been reported; "" for 0.
inline std::string Logged(int code) {
  std::string log = "1902 ";
  return code == 0 ? "" : log += std::to_string(code) + "\n";
}

/// A manifest whose sequence is the one step `step` (its entries, each on a line).
inline std::string OneStep(const std::string& step) {
  std::string manifest = "SectionList\nSequence = S\nS\n";
  return manifest += step;
}

/// A TransferFile step: /mnt/firmware/SRC as /home/Corvenal/bin/DEST through
/// INTERIM/SRC.new, the old one kept as DEST.bak, with the digests of `content`.
inline std::string Transfer(const std::string& src, const std::string& dest,
                            std::string_view content,
                            const std::string& interim = "/home/Corvenal/download") {
  std::string step = "Operation = TransferFile\nSrcDir = /mnt/firmware\nSrcFile = ";
  step += src + "\nInterimDir = " + interim + "\nInterimFile = " + src +
          ".new\nDestDir = /home/Corvenal/bin\nDestFile = " + dest +
          "\nBackupDir = /home/Corvenal/bin\nBackupFile = " + dest +
          ".bak\nMD5Hash = " + test::Md5Hex(content) +
          "\nSHA256Hash = " + test::Sha256Hex(content) + "\n";
  return step;
}

/// A fresh instrument made by `update-sim init`, and a medium folder beside it.
class Instrument {
 public:
  Instrument() : dir_(temp_ / "instrument"), medium_(temp_ / "medium") {
    if (Sim({"init", dir_}).status != 0) std::abort();
    std::filesystem::create_directories(medium_ + "/firmware");
  }
  [[nodiscard]] const std::string& dir() const { return dir_; }
  [[nodiscard]] const std::string& medium() const { return medium_; }
  [[nodiscard]] std::string Host(const std::string& path) const { return dir_ + path; }
  /// The content of an instrument path; "" when it cannot be read.
  [[nodiscard]] std::string Read(const std::string& path) const {
    return test::ReadFile(Host(path));
  }
  [[nodiscard]] std::string Log() const { return Read("/home/Corvenal/log/UpdateErrorLog.txt"); }
  [[nodiscard]] bool Mounted() const { return std::filesystem::exists(Host("/sim/mount")); }
  /// Whether `path` is a file of mode 0755, as installed programs are.
  [[nodiscard]] bool Executable(const std::string& path) const {
    namespace fs = std::filesystem;
    return fs::is_regular_file(Host(path)) &&
           fs::status(Host(path)).permissions() == static_cast<fs::perms>(0755);
  }
  /// Writes `manifest`, unless empty, as the medium's AuxInfo.txt and plugs the medium.
  void Plug(const std::string& manifest = "") const {
    if (!manifest.empty()) test::WriteFile(medium_ + "/firmware/AuxInfo.txt", manifest);
    const Outcome plug = Sim({"plug", dir_, medium_});
    EXPECT_EQ(plug.status, 0) << plug.err;
  }
  /// update-sim run DIR OPTIONS... -- ARGS...
  Outcome Run(const std::vector<std::string>& args,
              const std::vector<std::string>& options = {}) const {
    std::vector<std::string> full = {"run", dir_};
    full.insert(full.end(), options.begin(), options.end());
    full.push_back("--");
    full.insert(full.end(), args.begin(), args.end());
    return Sim(full);
  }
  [[nodiscard]] std::vector<std::string> Timeline() const {
    std::ifstream in(dir_ + "/sim/events.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  /// The timeline after the last "display Updating firmware...", or all of it.
  [[nodiscard]] std::vector<std::string> AfterStartup() const {
    const auto all = Timeline();
    const auto start = std::find(all.rbegin(), all.rend(), "display Updating firmware...");
    return start == all.rend() ? all : std::vector<std::string>(start.base(), all.end());
  }

 private:
  test::TempDir temp_;
  std::string dir_;
  std::string medium_;
};

}  // namespace upd::e2e
