#include "diag/clock.h"

#include <sched.h>

#include <atomic>
#include <cerrno>
#include <ctime>

namespace upd::diag {

namespace {

std::atomic<Clock*> g_installed{nullptr};

SystemClock& RealClock() {
  static SystemClock real;
  return real;
}

}  // namespace

Clock& CurrentClock() {
  Clock* installed = g_installed.load();
  return installed != nullptr ? *installed : RealClock();
}

ScopedClock::ScopedClock(Clock& clock) : previous_(g_installed.exchange(&clock)) {}

ScopedClock::~ScopedClock() {
  g_installed.store(previous_);
}

int SystemClock::Now(timeval* now) {
  return ::gettimeofday(now, nullptr) == 0 ? 0 : -1;
}

void SystemClock::SleepMicroseconds(unsigned long long us) {
  timespec left{static_cast<std::time_t>(us / 1000000ULL),
                static_cast<long>((us % 1000000ULL) * 1000ULL)};
  // A signal cuts the sleep short; the caller asked for the whole time.
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

void SystemClock::Yield() {
  ::sched_yield();
}

}  // namespace upd::diag
