#include "driver/report.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/error_codes.h"
#include "common/instrument_paths.h"
#include "driver/startup.h"
#include "manifest/store.h"
#include "support/sim_instrument.h"

namespace upd {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// Reports, the log and the aborts of the usual runs are pinned end to end;
// here what those runs never meet: the store and the step list released, and
// an unmount that fails.
TEST(Report, AbortReleasesUnmountsAndRestarts) {
  test::SimulatedInstrument sim;
  sim.PlugMedium();
  ASSERT_EQ(sim.platform().Mount(kDefaultDevice, kMountPoint, kMediumFsType, 8), 0);
  UpdateInfo info = NewUpdateInfo();
  Mounted = AuxInfo = true;
  aux_Section = NewAuxSection("SectionList");
  ASSERT_EQ(AppendSection(&info.sections, "Step"), 1);
  EXPECT_EQ(Error(kErrSequence, true, &info), 1);
  EXPECT_EQ(aux_Section, nullptr);
  EXPECT_EQ(info.sections, nullptr);
  EXPECT_FALSE(Mounted);
  // Believed mounted, but nothing is: 661 is stored and the abort still restarts.
  Mounted = true;
  EXPECT_EQ(Error(kErrSignature, true, &info), 1);
  EXPECT_EQ(info.error, kErrUnmount);
  EXPECT_TRUE(Mounted);
  Mounted = AuxInfo = false;
  EXPECT_THAT(sim.Timeline(),
              ElementsAre("mount /dev/disk/by-label/CORVENAL /mnt vfat 8 -> 0",
                          "display Error updating firmware: 613", "umount /mnt -> 0",
                          "main-application started", "display Error updating firmware: 668",
                          "umount /mnt -> EINVAL", "main-application started"));
}

TEST(Report, RestartMainFallsBackToTheBackup) {
  test::SimulatedInstrument sim;
  fs::rename(sim.Host(kMainApplication), sim.Host(kMainApplicationBackup));
  EXPECT_EQ(RestartMain(), 0);  // the shell's status: it started the program and returned
  EXPECT_TRUE(fs::exists(sim.Host(kMainApplication)));
  EXPECT_FALSE(fs::exists(sim.Host(kMainApplicationBackup)));
  EXPECT_THAT(sim.Timeline(), ElementsAre("main-application started"));
}

}  // namespace
}  // namespace upd
