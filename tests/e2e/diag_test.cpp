// The debug options of the updater's command line, through update-sim.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim_runner.h"

namespace upd::e2e {
namespace {

TEST(DebugOptions, DoubleMAnnouncesMessagesOnStandardError) {
  Instrument sim;
  const Outcome run = sim.Run({"-mm", "-m"});
  EXPECT_EQ(run.status, 1);  // no stick plugged
  EXPECT_EQ(run.err.substr(0, run.err.find("update-sim: ")), "calling dpr_config to enable MESG\n");
  EXPECT_THAT(sim.Run({"-m"}).err, ::testing::Not(::testing::HasSubstr("dpr_config")));
}

}  // namespace
}  // namespace upd::e2e
