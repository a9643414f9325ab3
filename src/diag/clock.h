// The clock and the waits of the diagnostics subsystem, behind one small seam so
// that tests can read a fixed or stepping clock and see what would have been
// slept, without waiting and without depending on the machine's load.
#pragma once

#include <sys/time.h>

namespace upd::diag {

class Clock {
 public:
  virtual ~Clock() = default;

  /// gettimeofday(): 0 with the time in *now, or -1 when the clock cannot be read.
  [[nodiscard]] virtual int Now(timeval* now) = 0;

  /// usleep(): sleeps `us` microseconds.
  virtual void SleepMicroseconds(unsigned long long us) = 0;

  /// sched_yield(): gives the processor to another runnable thread.
  virtual void Yield() = 0;
};

/// The clock in force: the system's unless another has been installed.
[[nodiscard]] Clock& CurrentClock();

/// Installs a clock for the lifetime of the guard (tests). Not thread-safe with
/// respect to concurrent readers: install before other threads start.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

/// The real clock: gettimeofday, nanosleep, sched_yield.
class SystemClock final : public Clock {
 public:
  [[nodiscard]] int Now(timeval* now) override;
  void SleepMicroseconds(unsigned long long us) override;
  void Yield() override;
};

}  // namespace upd::diag
