// The diagnostic error log and the message queue of the debug-print facility.
//
// The error log receives a copy of every printed debug line while DPR_ERRLOG is
// set, and is rotated to its previous-log name when it has grown past 256 KiB
// (checked every 25th line). Level-6 debug lines wait in the message queue
// until LogMessages writes them out.
#pragma once

#include <cstdint>

namespace upd {

/// A log larger than this is rotated; one of exactly this size is not.
inline constexpr std::int32_t kErrorLogRotateSize = 262144;
/// Every this many lines written to the log, its size is checked.
inline constexpr std::uint32_t kErrorLogCheckPeriod = 25;

/// Rotates the diagnostic error log when it is larger than kErrorLogRotateSize:
/// removes the previous log, closes and renames the current one to it and opens
/// a new current log. Returns 1 when the log may be written on, 0 on any
/// failure, each reported once on standard error. A failed rotation leaves the
/// log closed (or, when the previous log could not be removed, open and
/// unrotated). Returns 0 without a word while no log is open.
/// Facility-internal: the caller holds the debug-print lock.
[[nodiscard]] int ErrorLogSizeCheck();

/// Writes out and empties the message queue: one newline on standard output;
/// then, if DPR_ERRLOG is set, each message in order to the error log as a line
/// (and to standard output too when `echo` is non-zero), until a failed size
/// check turns DPR_ERRLOG off; then sync. With DPR_ERRLOG clear the queued
/// messages are discarded unwritten. Messages queued by other threads while the
/// file systems are synced are kept for the next call. `text` is not used.
void LogMessages(const char* text, int echo);

}  // namespace upd
