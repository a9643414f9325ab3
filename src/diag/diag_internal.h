// What the parts of the debug-print facility share among themselves (and with
// their tests); not for other subsystems.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string_view>

namespace upd::diag {

/// Serialises dpr() and every use of the error log and the message queue.
/// Lock order: LogMessages takes its own mutex first and this one inside it;
/// nothing takes them the other way round.
extern std::mutex dprMutex;

// The caller holds dprMutex for the following four.

/// The open diagnostic error log. Opened in append mode on first need (also
/// after a failed rotation left it closed); nullptr when it cannot be opened.
[[nodiscard]] std::FILE* ErrorLogStream();

/// After a line has been written to ErrorLogStream(): flushes it and counts the
/// line; every 25th line runs ErrorLogSizeCheck(), and a failed check clears
/// DPR_ERRLOG.
void ErrorLogLineWritten();

/// Appends a heap copy of a non-empty `line` to the message queue; without
/// memory the message is dropped.
void EnqueueMessage(std::string_view line);

/// Lines written to the diagnostic error log since start (wraps at 2^32).
[[nodiscard]] std::uint32_t ErrorLogCount();

/// Back to the state at process start: bits, delay, name list, thread table,
/// debug file and error log closed, queue and counters emptied. For tests.
void ResetForTesting();

// The per-part halves of ResetForTesting().
void ResetThreadNames();
void ResetErrorLog();

}  // namespace upd::diag
