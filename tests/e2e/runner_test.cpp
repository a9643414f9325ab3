// Whole updates through update-sim: the manifest, the steps and both endings.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim_runner.h"
#include "support/digests.h"

namespace upd::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// The new build records its start as the instrument's stub does.
constexpr const char kNewApp[] =
    "#!/bin/sh\n# main application, new build\n"
    "root=\"${0%/home/Corvenal/bin/corvenal}\"\n"
    "printf 'main-application started\\n' >> \"$root/sim/events.log\"\n";
constexpr const char kOldApp[] = "#!/bin/sh\n# main application, old build\n";
constexpr const char kApp[] = "/home/Corvenal/bin/corvenal";

// A TransferFile step that installs firmware/app from the medium as the main
// application, with the digests of kNewApp.
std::string TransferStep(const std::string& name, const std::string& extra = "") {
  return name +
         "\nOperation = TransferFile\nSrcDir = /mnt/firmware\nSrcFile = app\n"
         "InterimDir = /home/Corvenal/download\nInterimFile = app.new\n"
         "DestDir = /home/Corvenal/bin\nDestFile = corvenal\n"
         "BackupDir = /home/Corvenal/bin\nBackupFile = corvenal.bak\nMD5Hash = " +
         test::Md5Hex(kNewApp) + "\nSHA256Hash = " + test::Sha256Hex(kNewApp) + "\n" + extra;
}

// An instrument with the old build installed and the new one on the medium.
class UpdateRun : public ::testing::Test {
 protected:
  UpdateRun() {
    test::WriteFile(sim_.Host(kApp), kOldApp);
    test::WriteFile(sim_.medium() + "/firmware/app", kNewApp);
  }

  Instrument sim_;
};

// Steps without an operation, or with one this updater does not know (letter
// case counts), are passed over without a word.
TEST_F(UpdateRun, InstallsAndRestartsTheMainApplication) {
  sim_.Plug(
      "SectionList\nSequence = Missing, NoOperation, Lower, Install\n\n"
      "NoOperation\nKey = value\nLower\nOperation = transferfile\n" +
      TransferStep("Install"));
  const Outcome run = sim_.Run({});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(sim_.Read(kApp), kNewApp);
  EXPECT_EQ(sim_.Read("/home/Corvenal/bin/corvenal.bak"), kOldApp);
  EXPECT_FALSE(fs::exists(sim_.Host("/home/Corvenal/download/app.new")));
  EXPECT_TRUE(sim_.Executable(kApp));
  EXPECT_FALSE(sim_.Mounted());
  EXPECT_FALSE(fs::exists(sim_.Host("/home/Corvenal/log/UpdateErrorLog.txt")));
  // The copy's sync, then the ending.
  EXPECT_THAT(sim_.AfterStartup(), ElementsAreArray(ThenRestart({"sync"})));
}

TEST_F(UpdateRun, RebootComesLastWhereverItIsListed) {
  sim_.Plug(
      "SectionList\nSequence = Restart, Steps\nSteps = Flash, Clean\n"
      "Restart\nOperation = Reboot\n"
      "Flash\nOperation = FlashUpdate\nDevice = /dev/mtd3\nOffset =\nEraseCommand =\n"
      "WriteCommand = flashcp -v\nDataPath1 = /mnt/firmware/fpga.bin\n"
      "Clean\nOperation = RemoveFiles\nfile1 = /home/Corvenal/old\n");
  test::WriteFile(sim_.Host("/home/Corvenal/old"), "x");
  const Outcome run = sim_.Run({});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::exists(sim_.Host("/home/Corvenal/old")));
  EXPECT_THAT(sim_.AfterStartup(),
              ElementsAre("command flashcp -v /mnt/firmware/fpga.bin /dev/mtd3 -> recorded", "sync",
                          "umount /mnt -> 0", "display Please remove USB device.",
                          "unplug /dev/disk/by-label/CORVENAL", "sleep 1", "display Rebooting...",
                          "sleep 1", "reboot", "sleep 1"));
}

// A run that stops shows and logs its code. The manifest's own failures
// unmount before the report, the other aborts after it, and both restart the
// main application; a failed step (after the steps before it took effect)
// leaves the medium mounted and restarts nothing. update-medium's tests run
// every code on the instrument.
TEST(Stops, ReleaseTheMediumAndRestartOrLeaveItMounted) {
  const std::string umount = "umount /mnt -> 0";
  const std::string restart = "main-application started";
  const std::string shown = "display Error updating firmware: ";
  const std::string clean =
      "SectionList\nSequence = Clean, Install\n"
      "Clean\nOperation = RemoveFiles\nfile1 = /home/Corvenal/old\n";
  // A destination that is a folder is refused before the step touches a file.
  const std::string dest = "DestDir = /home/Corvenal/bin\nDestFile = corvenal";
  std::string folder = TransferStep("Install");
  folder.replace(folder.find(dest), dest.size(), "DestDir = /home/Corvenal\nDestFile = bin");
  const struct {
    std::string manifest;  // empty: no manifest on the medium
    std::vector<std::string> args;
    int code;
    std::vector<std::string> after;  // the timeline after start-up
  } cases[] = {
      {"", {}, 610, {umount, shown + "610", restart}},
      {"SectionList\nSequence = A\n", {"-s"}, 668, {umount, shown + "668", restart}},
      {"SectionList\nSequence =\n", {}, 613, {shown + "613", umount, restart}},
      {"SectionList\nSequence = A\nA\nOperation = " + std::string(64, 'o') + "\n",
       {},
       606,
       {shown + "606", umount, restart}},
      {clean + TransferStep("Install"), {}, 651, {shown + "651"}},  // no source on the medium
      {clean + folder, {}, 642, {shown + "642"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    Instrument sim;
    test::WriteFile(sim.Host(kApp), kOldApp);
    test::WriteFile(sim.Host("/home/Corvenal/old"), "x");
    if (c.code == 642) test::WriteFile(sim.medium() + "/firmware/app", kNewApp);
    sim.Plug(c.manifest);
    EXPECT_EQ(sim.Run(c.args).status, 1);
    EXPECT_EQ(sim.Log(), Logged(c.code));
    EXPECT_THAT(sim.AfterStartup(), ElementsAreArray(c.after));
    EXPECT_EQ(sim.Mounted(), c.after.size() == 1);
    EXPECT_EQ(fs::exists(sim.Host("/home/Corvenal/old")), !c.manifest.starts_with(clean));
    EXPECT_EQ(sim.Read(kApp), kOldApp);
    EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/download/app.new")));
  }
}

// Once a build was found older or the same, every later gated step is skipped
// and reported too.
TEST_F(UpdateRun, OlderOrSameBuildsAreReportedAndTheRunGoesOn) {
  sim_.Plug("SectionList\nSequence = Same, Newer, Unchecked\n" +
            TransferStep("Same", "TimeStamp = 2026-11-30 14:05:00\n") +
            TransferStep("Newer", "TimeStamp = 2027-01-01 00:00:00\n") +
            TransferStep("Unchecked", "TimeStamp = 2020-01-01 00:00:00\nTimeStampCheck = FALSE\n"));
  EXPECT_EQ(sim_.Run({"-t", "2026-11-30 14:05:00"}).status, 0);
  EXPECT_EQ(sim_.Log(), "1902 660\n");
  EXPECT_EQ(sim_.Read(kApp), kNewApp);  // by the step without the check
  const auto timeline = sim_.AfterStartup();
  EXPECT_EQ(std::count(timeline.begin(), timeline.end(), "display Error updating firmware: 660"),
            3);
  EXPECT_EQ(timeline.back(), "main-application started");

  // Forced, nothing is reported, and the log keeps the last code.
  sim_.Plug();
  EXPECT_EQ(sim_.Run({"-t", "2026-11-30 14:05:00", "-f"}).status, 0);
  EXPECT_EQ(sim_.AfterStartup(), ThenRestart({"sync", "sync", "sync"}));
  EXPECT_EQ(sim_.Log(), "1902 660\n");
}

TEST(Commands, FailedFlashingIsReportedAndTheRunGoesOn) {
  const std::string flash =
      "Operation = FlashUpdate\nDevice = /dev/mtd3\nOffset = 0\nEraseCommand = e\nWriteCommand = ";
  const std::string msp =
      "Operation = MSP430Update\nCommandJTAG = true\nCommand1 = exit 1\nCommand2 = ";
  const std::string retry = "test -e m || { touch m; exit 2; }";
  const struct {
    std::string step;
    std::vector<std::string> commands;  // the timeline's command lines
    int code;                           // reported, or 0 for none
  } cases[] = {
      {flash + "false\nDataPath1 = fpga.bin\n", {"command false fpga.bin /dev/mtd3 -> 1"}, 640},
      {msp + "true\n", {"command true -> 0", "command exit 1 -> 1", "command true -> 0"}, 0},
      {msp + retry + "\n",
       {"command true -> 0", "command exit 1 -> 1", "command " + retry + " -> 2",
        "command " + retry + " -> 0"},
       0},
      {msp + "exit 3\n",
       {"command true -> 0", "command exit 1 -> 1", "command exit 3 -> 3", "command exit 3 -> 3"},
       641},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    Instrument sim;
    test::WriteFile(sim.Host("/home/Corvenal/old"), "x");
    sim.Plug("SectionList\nSequence = S, Clean\nS\n" + c.step +
             "Clean\nOperation = RemoveFiles\nfile1 = /home/Corvenal/old\n");
    const Outcome run = sim.Run({}, {"--commands", "run"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/old")));  // the later step ran
    EXPECT_EQ(sim.Log(), Logged(c.code));
    std::vector<std::string> expected = c.commands;
    if (c.code != 0)
      expected.push_back("display Error updating firmware: " + std::to_string(c.code));
    EXPECT_THAT(sim.AfterStartup(), ElementsAreArray(ThenRestart(expected)));
  }

  // A failed JTAG check stops the run before Command1.
  Instrument sim;
  sim.Plug(
      "SectionList\nSequence = Panel\nPanel\nOperation = MSP430Update\n"
      "CommandJTAG = exit 4\nCommand1 = true\nCommand2 = true\n");
  EXPECT_EQ(sim.Run({}, {"--commands", "run"}).status, 1);
  EXPECT_EQ(sim.Log(), "1902 667\n");
  EXPECT_THAT(sim.AfterStartup(),
              ElementsAre("command exit 4 -> 4", "display Error updating firmware: 667"));
}

TEST_F(UpdateRun, RemoveFilesGoesOnAfterAFailureAndReportsItAtTheEnd) {
  for (const char* name : {"/home/Corvenal/a", "/home/Corvenal/c", "/home/Corvenal/e"}) {
    test::WriteFile(sim_.Host(name), "x");
  }
  fs::create_directories(sim_.Host("/home/Corvenal/dir"));
  sim_.Plug(
      "SectionList\nSequence = Clean\nClean\nOperation = RemoveFiles\n"
      "file1 = /home/Corvenal/dir\nfile2 = /home/Corvenal/a\nfile3 = /home/Corvenal/missing\n"
      "file4 = /home/Corvenal/c\nfile6 = /home/Corvenal/e\n");
  EXPECT_EQ(sim_.Run({}).status, 1);
  EXPECT_EQ(sim_.Log(), "1902 657\n");
  EXPECT_FALSE(fs::exists(sim_.Host("/home/Corvenal/a")));
  EXPECT_FALSE(fs::exists(sim_.Host("/home/Corvenal/c")));
  EXPECT_TRUE(fs::exists(sim_.Host("/home/Corvenal/e")));  // after the gap at file5
  EXPECT_TRUE(fs::is_directory(sim_.Host("/home/Corvenal/dir")));
}

}  // namespace
}  // namespace upd::e2e
