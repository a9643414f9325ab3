// src/driver: the updater's main flow: start-up and the command line, the
// runner that loads the manifest and dispatches each step, reporting and the end of the run.
//
// The updater's entry point and start-up: options, the medium, the mount.
#pragma once

#include "common/update_info.h"

namespace upd {

/// The updater's main: returns the process exit status (0 after a complete run,
/// 1 after any failure and after -h).
int UpdateMain(int argc, char** argv);

/// Reads the command line (argv[1..argc-1]) into `info`, which must be freshly
/// set up. Returns 0, or 669 / 621 for an over-long -d / -t value, in which case
/// later arguments were not looked at.
[[nodiscard]] int ReadCommandLine(int argc, char** argv, UpdateInfo* info);

/// Prints the usage text to standard output.
void PrintUsage();

/// A fresh record: empty timestamp, no error, no sections, no flags.
[[nodiscard]] UpdateInfo NewUpdateInfo();

}  // namespace upd
