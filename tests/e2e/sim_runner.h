// Drives the real update-sim program as a subprocess.
#pragma once

#include <string>
#include <vector>

#include "support/test_support.h"

namespace upd::e2e {

struct Outcome {
  int status;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

/// The timeline after the last step of a run that ends by restarting the main
/// application.
inline const std::vector<std::string> kRestartEnding = {"sync",
                                                        "umount /mnt -> 0",
                                                        "display Please remove USB device.",
                                                        "unplug /dev/disk/by-label/CORVENAL",
                                                        "sleep 1",
                                                        "main-application started"};

/// Runs update-sim with `args` through /bin/sh and collects what it printed.
/// The command comes from the build (UPDATE_SIM_COMMAND: the program, after the
/// cross build's emulator where there is one).
Outcome Sim(const std::vector<std::string>& args);

/// Runs update-medium with `args` the same way (UPDATE_MEDIUM_COMMAND).
Outcome MediumTool(const std::vector<std::string>& args);

/// A fresh simulated instrument made by `update-sim init` in a temporary directory.
class Instrument {
 public:
  Instrument();
  [[nodiscard]] const std::string& dir() const { return dir_; }
  [[nodiscard]] std::string Host(const std::string& instrumentPath) const {
    return dir_ + instrumentPath;
  }
  /// A directory beside the instrument that stands for a stick's files.
  [[nodiscard]] std::string Medium(const std::string& name = "medium") const;
  /// update-sim run DIR ARGS...
  Outcome Run(const std::vector<std::string>& args) const;
  [[nodiscard]] std::vector<std::string> Timeline() const;

 private:
  test::TempDir temp_;
  std::string dir_;
};

}  // namespace upd::e2e
