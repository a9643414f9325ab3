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
#include "sim/sim_main.h"
#include "support/sim_instrument.h"

namespace upd {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Mounted = false;
    AuxInfo = false;
    std::snprintf(info_.device, sizeof info_.device, "%s", kDefaultDevice);
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

TEST_F(ReportTest, CodeZeroOnlyMakesTheDownloadDirectory) {
  EXPECT_EQ(Error(0, false, &info_), 1);
  EXPECT_TRUE(fs::is_directory(sim_.Host(kDownloadDir)));
  EXPECT_FALSE(fs::exists(sim_.Host(kErrorLogPath)));
  EXPECT_THAT(sim_.Timeline(), IsEmpty());
}

TEST_F(ReportTest, EachReportRewritesTheOneLineLogAndShowsTheCode) {
  EXPECT_EQ(Error(kErrTimeStampOlder, false, &info_), 1);
  EXPECT_EQ(ReadFile(sim_.Host(kErrorLogPath)), "1902 659\n");
  EXPECT_EQ(Error(kErrCopyInterim, false, &info_), 1);
  EXPECT_EQ(ReadFile(sim_.Host(kErrorLogPath)), "1902 658\n");
  EXPECT_THAT(sim_.Timeline(), ElementsAre("display Error updating firmware: 659",
                                           "display Error updating firmware: 658"));
}

TEST_F(ReportTest, MissingLogDirectoryStillShowsTheMessage) {
  fs::remove_all(sim_.Host("/home/Corvenal/log"));
  EXPECT_EQ(Error(kErrNoMedium, false, &info_), 1);
  EXPECT_FALSE(fs::exists(sim_.Host(kErrorLogPath)));
  EXPECT_THAT(sim_.Timeline(), ElementsAre("display Error updating firmware: 652"));
}

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

TEST_F(ReportTest, AbortAfterASuccessfulUnmountDoesNotUnmountAgain) {
  // Mounted is false: the caller has unmounted already.
  EXPECT_EQ(Error(kErrManifestRead, true, &info_), 1);
  EXPECT_THAT(sim_.Timeline(),
              ElementsAre("display Error updating firmware: 610", "main-application started"));
}

TEST_F(ReportTest, FailedUnmountStores661AndTheAbortStillRestarts) {
  Mounted = true;  // believed mounted, but nothing is
  EXPECT_EQ(Error(kErrSignature, true, &info_), 1);
  EXPECT_EQ(info_.error, kErrUnmount);
  EXPECT_TRUE(Mounted);
  EXPECT_EQ(ReadFile(sim_.Host(kErrorLogPath)), "1902 668\n");
  EXPECT_THAT(sim_.Timeline(), ElementsAre("display Error updating firmware: 668",
                                           "umount /mnt -> EINVAL", "main-application started"));
}

TEST_F(ReportTest, RestartMainFallsBackToTheBackup) {
  fs::rename(sim_.Host(kMainApplication), sim_.Host(kMainApplicationBackup));
  EXPECT_EQ(RestartMain(), 0);  // the shell's status: it started the program and returned
  EXPECT_TRUE(fs::exists(sim_.Host(kMainApplication)));
  EXPECT_FALSE(fs::exists(sim_.Host(kMainApplicationBackup)));
  EXPECT_THAT(sim_.Timeline(), ElementsAre("main-application started"));

  fs::remove(sim_.Host(kMainApplication));
  EXPECT_EQ(RestartMain(), 0);
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

TEST_F(ReportTest, WaitForUsbUnplugPollsAfterEachSecond) {
  sim_.PlugMedium();
  EXPECT_EQ(WaitForUsbUnplug(&info_), 0);
  EXPECT_THAT(sim_.Timeline(), ElementsAre("display Please remove USB device.",
                                           "unplug /dev/disk/by-label/CORVENAL", "sleep 1"));
}

TEST_F(ReportTest, WaitingForANodeNoOneCanPullEndsTheSimulation) {
  test::WriteFile(sim_.Host("/dev/other"), "");
  std::snprintf(info_.device, sizeof info_.device, "%s", "/dev/other");
  EXPECT_EXIT(WaitForUsbUnplug(&info_), ::testing::ExitedWithCode(sim::kExitWaitsForever),
              "ended after 3600 simulated seconds");
}

}  // namespace
}  // namespace upd
