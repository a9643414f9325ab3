// Fixed files of the diagnostics subsystem. Instrument paths: they go through
// the file utilities, so a simulated instrument maps them under its directory.
#pragma once

namespace upd {

/// Where debug lines go while DPR_DEBUGFILE is set; opened in append mode.
inline constexpr const char kDebugFilePath[] = "/home/Tobrin/bin/debug.txt";

/// The diagnostic error log and the name it is rotated to.
inline constexpr const char kDiagErrorLogPath[] = "/home/Tobrin/log/Updateerrlog.txt";
inline constexpr const char kDiagErrorLogPrevPath[] = "/home/Tobrin/log/Updateerrlogprev.txt";

/// The debug-print name list, in the working directory.
inline constexpr const char kDprListPath[] = "./.dpr";

}  // namespace upd
