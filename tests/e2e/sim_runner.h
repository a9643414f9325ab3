// Drives the real update-sim and update-medium programs as subprocesses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace upd::e2e {

struct Outcome {
  int status;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

/// `steps`, then the timeline of a run's ending that restarts the main application.
std::vector<std::string> ThenRestart(std::vector<std::string> steps);
/// The timeline line of the display showing `code`.
std::string Shown(int code);
/// A manifest whose sequence is the one step `step` (its entries, each on a line).
std::string OneStep(const std::string& step);
/// The entries of a TransferFile step that installs /mnt/firmware/SRC as
/// /home/Corvenal/bin/DEST through INTERIM/SRC.new, keeps the old one as
/// DEST.bak, and carries the digests of `content`.
std::string Transfer(const std::string& src, const std::string& dest, std::string_view content,
                     const std::string& interim = "/home/Corvenal/download");

/// `command` run by /bin/sh, with what it printed.
Outcome Shell(const std::string& command);
/// update-sim or update-medium with `args`. The build names their commands
/// (UPDATE_SIM_COMMAND, UPDATE_MEDIUM_COMMAND: the cross build's emulator first).
Outcome Sim(const std::vector<std::string>& args);
Outcome MediumTool(const std::vector<std::string>& args);

/// The error log's content once `code` has been reported; "" for 0.
std::string Logged(int code);

/// A fresh simulated instrument made by `update-sim init` in a temporary
/// directory, and a medium folder (with its firmware folder) beside it.
class Instrument {
 public:
  Instrument();
  [[nodiscard]] const std::string& dir() const { return dir_; }
  [[nodiscard]] const std::string& medium() const { return medium_; }
  [[nodiscard]] std::string Host(const std::string& path) const { return dir_ + path; }
  /// The content of an instrument path; "" when it cannot be read.
  [[nodiscard]] std::string Read(const std::string& path) const;
  [[nodiscard]] std::string Log() const { return Read("/home/Corvenal/log/UpdateErrorLog.txt"); }
  [[nodiscard]] bool Mounted() const;
  /// Whether `path` is a file of mode 0755, as installed programs are.
  [[nodiscard]] bool Executable(const std::string& path) const;
  /// Writes `manifest`, unless empty, as the medium's AuxInfo.txt and plugs the medium.
  void Plug(const std::string& manifest = "") const;
  /// update-sim run DIR OPTIONS... -- ARGS...
  Outcome Run(const std::vector<std::string>& args,
              const std::vector<std::string>& options = {}) const;
  [[nodiscard]] std::vector<std::string> Timeline() const;
  /// The timeline after the last "display Updating firmware...", or all of it.
  [[nodiscard]] std::vector<std::string> AfterStartup() const;

 private:
  test::TempDir temp_;
  std::string dir_;
  std::string medium_;
};

}  // namespace upd::e2e
