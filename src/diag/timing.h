// A process-wide stopwatch in microseconds, three ways of waiting, the names of
// the scheduling policies, and a handler that keeps SIGQUIT from ending the
// process. The clock and the waits go through diag::CurrentClock().
#pragma once

#include <cstdint>

namespace upd {

/// Record the current time as the start or the stop of the interval. 1 on
/// success; 0 when the clock cannot be read, the reading then being zero.
/// One interval at a time, no lock.
[[nodiscard]] int StartTiming();
[[nodiscard]] int StopTiming();

/// Microseconds from the start to the stop reading, in 32-bit arithmetic:
/// intervals longer than about 4294 s wrap. Example: 5.900000 s to 7.100000 s
/// gives 1200000.
[[nodiscard]] std::uint32_t ElapsedTime();

/// Sleeps `ms` milliseconds, but 5 ms less for a non-zero multiple of 10 (the
/// tick that such a sleep overshoots by): msleep(10) sleeps 5 ms, msleep(15)
/// 15 ms, msleep(20) 15 ms.
void msleep(unsigned short ms);

/// Waits `ms` milliseconds by polling the clock and yielding the processor in
/// between. Without a readable clock it sleeps the whole time instead.
void mdelay(unsigned long ms);

/// Waits `us` microseconds by spinning on the clock, without yielding. Without
/// a readable clock it sleeps the whole time instead.
void bdelay(unsigned long us);

/// "SCHED_OTHER", "SCHED_FIFO", "SCHED_RR" for 0, 1, 2; "<unknown>" otherwise.
[[nodiscard]] const char* SchedulingPolicyName(int policy);

/// Installed for SIGQUIT by calling it with 0 (unless SIGQUIT is ignored
/// already, which is then kept); on delivery it re-arms itself and does nothing
/// else, so a quit signal never ends the process. Other values of `sig` do
/// nothing.
void SignalHandler(int sig);

}  // namespace upd
