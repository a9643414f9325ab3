#include "driver/report.h"

#include <filesystem>
#include <string>
#include <vector>

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

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Mounted = false;
    AuxInfo = false;
  }
  void TearDown() override {
    FreeAuxInfo();
    FreeSectionList(&info_.sections);
    Mounted = false;
    AuxInfo = false;
  }

  test::SimulatedInstrument sim_;
  UpdateInfo info_ = NewUpdateInfo();
};

// Reports, the log and the aborts of the usual runs are pinned end to end;
// here what those runs never meet.
TEST_F(ReportTest, AbortReleasesUnmountsAndRestarts) {
  sim_.PlugMedium();
  ASSERT_EQ(platform::Current().Mount(kDefaultDevice, kMountPoint, kMediumFsType, 8), 0);
  Mounted = true;
  AuxInfo = true;
  aux_Section = NewAuxSection("SectionList");
  ASSERT_EQ(AppendSection(&info_.sections, "Step"), 1);
  EXPECT_EQ(Error(kErrSequence, true, &info_), 1);
  EXPECT_EQ(aux_Section, nullptr);
  EXPECT_EQ(info_.sections, nullptr);
  EXPECT_FALSE(Mounted);
  EXPECT_THAT(sim_.Timeline(), ElementsAre("mount /dev/disk/by-label/CORVENAL /mnt vfat 8 -> 0",
                                           "display Error updating firmware: 613",
                                           "umount /mnt -> 0", "main-application started"));
}

TEST_F(ReportTest, FailedUnmountStores661AndTheAbortStillRestarts) {
  Mounted = true;  // believed mounted, but nothing is
  EXPECT_EQ(Error(kErrSignature, true, &info_), 1);
  EXPECT_EQ(info_.error, kErrUnmount);
  EXPECT_TRUE(Mounted);
  EXPECT_THAT(sim_.Timeline(), ElementsAre("display Error updating firmware: 668",
                                           "umount /mnt -> EINVAL", "main-application started"));
}

TEST_F(ReportTest, RestartMainFallsBackToTheBackup) {
  fs::rename(sim_.Host(kMainApplication), sim_.Host(kMainApplicationBackup));
  EXPECT_EQ(RestartMain(), 0);  // the shell's status: it started the program and returned
  EXPECT_TRUE(fs::exists(sim_.Host(kMainApplication)));
  EXPECT_FALSE(fs::exists(sim_.Host(kMainApplicationBackup)));
  EXPECT_THAT(sim_.Timeline(), ElementsAre("main-application started"));
}

TEST_F(ReportTest, ShowMessageBoundsTheCommandToItsBuffer) {
  // 132 characters of the command are fixed, so 379 of text fit with the whole
  // display option; a longer text pushes the option's tail out of the buffer.
  const std::string fits(379, 'x');
  const std::string tooLong(440, 'y');
  ShowMessage(fits.c_str());
  ShowMessage(tooLong.c_str());
  EXPECT_THAT(sim_.Timeline(), ElementsAre("display " + fits, "display " + tooLong));
}

}  // namespace
}  // namespace upd
