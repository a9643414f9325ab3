#include "diag/timing.h"

#include <sys/time.h>

#include <array>
#include <cerrno>
#include <csignal>

#include "diag/clock.h"

namespace upd {

namespace {

timeval g_startTime{};
timeval g_stopTime{};

int Reading(timeval* reading) {
  *reading = {};
  if (diag::CurrentClock().Now(reading) != 0) {
    *reading = {};
    return 0;
  }
  return 1;
}

// later - earlier in microseconds, borrowing a second for a negative
// microseconds difference; 64-bit so that callers choose how to narrow.
long long MicrosBetween(const timeval& earlier, const timeval& later) {
  long long seconds = static_cast<long long>(later.tv_sec) - earlier.tv_sec;
  long long micros = static_cast<long long>(later.tv_usec) - earlier.tv_usec;
  if (micros < 0) {
    seconds -= 1;
    micros += 1000000;
  }
  return seconds * 1000000 + micros;
}

// Polls the clock until `limit` units have passed; `unit` is microseconds per
// unit. Falls back to sleeping the whole time when the clock fails.
void PollUntil(unsigned long limit, unsigned long long unit, bool yield) {
  diag::Clock& clock = diag::CurrentClock();
  const unsigned long long whole = static_cast<unsigned long long>(limit) * unit;
  timeval start{};
  if (clock.Now(&start) != 0) {
    clock.SleepMicroseconds(whole);
    return;
  }
  // A clock stepped back gives a negative difference, which ends the wait
  // rather than waiting for the step to be made up.
  unsigned long long elapsed = 0;
  while (elapsed < limit) {
    timeval now{};
    if (clock.Now(&now) != 0) {
      if (yield) clock.Yield();
      clock.SleepMicroseconds(whole);
      return;
    }
    elapsed = static_cast<unsigned long long>(MicrosBetween(start, now)) / unit;
    if (yield) clock.Yield();
  }
}

constexpr std::array<const char*, 3> kPolicyNames = {"SCHED_OTHER", "SCHED_FIFO", "SCHED_RR"};

}  // namespace

int StartTiming() {
  return Reading(&g_startTime);
}

int StopTiming() {
  return Reading(&g_stopTime);
}

std::uint32_t ElapsedTime() {
  return static_cast<std::uint32_t>(MicrosBetween(g_startTime, g_stopTime));
}

void msleep(unsigned short ms) {
  const unsigned trimmed = (ms != 0 && ms % 10 == 0) ? ms - 5U : ms;
  diag::CurrentClock().SleepMicroseconds(trimmed * 1000ULL);
}

void mdelay(unsigned long ms) {
  PollUntil(ms, 1000, true);
}

void bdelay(unsigned long us) {
  PollUntil(us, 1, false);
}

const char* SchedulingPolicyName(int policy) {
  if (policy < 0 || static_cast<std::size_t>(policy) >= kPolicyNames.size()) return "<unknown>";
  return kPolicyNames[static_cast<std::size_t>(policy)];
}

void SignalHandler(int sig) {
  if (sig != 0 && sig != SIGQUIT) return;
  const int savedErrno = errno;  // we may run as a handler, inside other code
  // signal() is async-signal-safe, so re-arming from the handler is allowed.
  if (std::signal(SIGQUIT, SIG_IGN) != SIG_IGN) std::signal(SIGQUIT, SignalHandler);
  errno = savedErrno;
}

}  // namespace upd
