// Shared by the diagnostics tests: a clock the test sets and steps, a stream kept
// in memory, and fresh facility state on a simulated instrument, in UTC.
#pragma once

#include <sys/time.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diag/clock.h"
#include "diag/diag_internal.h"
#include "diag/dpr.h"
#include "diag/thread_names.h"
#include "support/sim_instrument.h"

namespace upd::test {

/// Reads `now`, then advances it by `step` microseconds; reads fail once
/// `failAfter` reads have succeeded (never when negative). Waits are recorded.
class FakeClock final : public diag::Clock {
 public:
  explicit FakeClock(timeval start = {}) : now(start) {}
  int Now(timeval* out) override {
    if (failAfter >= 0 && reads >= failAfter) return -1;
    ++reads;
    *out = now;
    now.tv_sec += static_cast<time_t>((now.tv_usec + step) / 1000000);
    now.tv_usec = static_cast<suseconds_t>((now.tv_usec + step) % 1000000);
    return 0;
  }
  void SleepMicroseconds(unsigned long long us) override { slept.push_back(us); }
  void Yield() override { ++yields; }

  timeval now;
  long long step = 0;
  int failAfter = -1, reads = 0, yields = 0;
  std::vector<unsigned long long> slept;

 private:
  diag::ScopedClock installed_{*this};
};

/// A stream whose output is kept in memory.
struct MemoryStream {
  ~MemoryStream() {
    std::fclose(stream);
    std::free(data);
  }
  [[nodiscard]] std::string text() {
    std::fflush(stream);
    return {data, size};
  }
  char* data = nullptr;
  std::size_t size = 0;
  std::FILE* stream = ::open_memstream(&data, &size);
};

/// The header of a short line printed by MAIN from probe.cpp:7, Probe().
inline const std::string kHeader = "MAIN   :: probe.cpp      @   7 :: Probe            :: ";

/// Thread "MAIN" registered, nothing else; the instrument is the working
/// directory; the clock stands at 2026-12-05 14:03:07.123456 UTC.
class DiagTest : public ::testing::Test {
 protected:
  DiagTest() {
    ::setenv("TZ", "UTC", 1);
    Reset();
    std::filesystem::current_path(sim.Host("/"));
  }
  ~DiagTest() override {
    diag::ResetForTesting();
    std::filesystem::current_path(savedCwd_);
  }
  static void Reset() {
    diag::ResetForTesting();
    EXPECT_EQ(SetThreadName("MAIN"), 1);
  }
  void Say(unsigned short level, const char* text, const char* func = "Probe") {
    dpr(level, out.stream, "src/diag/probe.cpp", func, 7, "%s", text);
  }

  std::filesystem::path savedCwd_ = std::filesystem::current_path();
  SimulatedInstrument sim;
  FakeClock clock{{1796479387, 123456}};
  MemoryStream out;
};

}  // namespace upd::test
