#include "diag/timing.h"

#include <csignal>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "diag_fixture.h"

namespace upd {
namespace {

using test::FakeClock;
using ::testing::ElementsAre;

TEST(Timing, StopwatchAndSleeps) {
  FakeClock clock({5, 900000});
  clock.step = 1200000;
  ASSERT_EQ(StartTiming() + StopTiming(), 2);
  EXPECT_EQ(ElapsedTime(), 1200000U);
  clock.step = 5000000000;  // 5000 s: past what 32 bits of microseconds hold
  ASSERT_EQ(StartTiming() + StopTiming(), 2);
  EXPECT_EQ(ElapsedTime(), 5000000000U % 4294967296U);
  for (const int ms : {10, 15, 20, 30, 31, 0}) msleep(static_cast<unsigned short>(ms));
  EXPECT_THAT(clock.slept, ElementsAre(5000, 15000, 15000, 25000, 31000, 0));
  EXPECT_STREQ(SchedulingPolicyName(2), "SCHED_RR");
  EXPECT_STREQ(SchedulingPolicyName(3), "<unknown>");
  EXPECT_STREQ(SchedulingPolicyName(-1), "<unknown>");
}

TEST(Timing, DelaysPollTheClockAndFallBackToSleeping) {
  FakeClock clock;
  clock.step = 1000;
  mdelay(0);
  EXPECT_EQ(clock.reads, 1);
  mdelay(5);  // 1 ms per reading: five more readings, a yield after each
  EXPECT_EQ(clock.reads, 7);
  clock.step = 1;
  bdelay(5);
  EXPECT_EQ(clock.reads, 13);
  EXPECT_EQ(clock.yields, 5);
  for (const int failAfter : {0, 1}) {
    FakeClock failing;
    failing.failAfter = failAfter;
    mdelay(7);
    bdelay(9);
    // The whole time again, not the rest; a failed poll yields once first.
    EXPECT_THAT(failing.slept, ElementsAre(7000, 9));
    EXPECT_EQ(failing.yields, failAfter);
  }
}

TEST(Timing, SignalHandlerKeepsQuitFromEndingTheProcess) {
  const auto quit = [] {
    struct sigaction now {};
    ::sigaction(SIGQUIT, nullptr, &now);
    return now.sa_handler;
  };
  const auto saved = std::signal(SIGQUIT, SIG_DFL);
  SignalHandler(SIGINT);
  EXPECT_EQ(quit(), SIG_DFL);
  SignalHandler(0);
  ASSERT_EQ(quit(), &SignalHandler);
  ASSERT_EQ(std::raise(SIGQUIT), 0);  // survived, and re-armed
  EXPECT_EQ(quit(), &SignalHandler);
  std::signal(SIGQUIT, SIG_IGN);  // an inherited "ignore" is kept
  SignalHandler(0);
  EXPECT_EQ(quit(), SIG_IGN);
  std::signal(SIGQUIT, saved);
}

}  // namespace
}  // namespace upd
