// Whole updates through update-sim: the manifest, the steps and both endings.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "manifest/reader.h"
#include "sim_runner.h"
#include "support/digests.h"

namespace upd::e2e {
using test::MakeKeyPair;
using test::Md5Hex;
using test::Sha256Hex;
using test::SignFile;
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;
using ::testing::Not;

// The new build records its start as the instrument's stub does.
constexpr const char kNewApp[] =
    "#!/bin/sh\n# main application, new build\n"
    "root=\"${0%/home/Corvenal/bin/corvenal}\"\n"
    "printf 'main-application started\\n' >> \"$root/sim/events.log\"\n";
constexpr const char kOldApp[] = "#!/bin/sh\n# main application, old build\n";

class UpdateRun : public ::testing::Test {
 protected:
  UpdateRun() : medium_(sim_.Medium()) {}

  /// Plugs the medium with `manifest` as its AuxInfo.txt.
  void Plug(const std::string& manifest) {
    test::WriteFile(medium_ + "/firmware/AuxInfo.txt", manifest);
    ASSERT_EQ(Sim({"plug", sim_.dir(), medium_}).status, 0);
  }

  /// A "TransferFile" step that installs firmware/app from the medium as the
  /// main application, with the digests of `content`.
  std::string TransferStep(const std::string& name, const std::string& content,
                           const std::string& extra = "") {
    test::WriteFile(medium_ + "/firmware/app", content);
    return name +
           "\n"
           "Operation = TransferFile\n"
           "SrcDir = /mnt/firmware\nSrcFile = app\n"
           "InterimDir = /home/Corvenal/download\nInterimFile = app.new\n"
           "DestDir = /home/Corvenal/bin\nDestFile = corvenal\n"
           "BackupDir = /home/Corvenal/bin\nBackupFile = corvenal.bak\n"
           "MD5Hash = " +
           Md5Hex(content) + "\nSHA256Hash = " + Sha256Hex(content) + "\n" + extra;
  }

  [[nodiscard]] std::string Host(const std::string& path) const { return sim_.Host(path); }
  [[nodiscard]] std::string Read(const std::string& path) const {
    return test::ReadFile(Host(path));
  }
  [[nodiscard]] std::string Log() const { return Read("/home/Corvenal/log/UpdateErrorLog.txt"); }
  [[nodiscard]] bool Mounted() const { return fs::exists(Host("/sim/mount")); }

  /// The timeline after the first `skip` lines (the run line and start-up).
  [[nodiscard]] std::vector<std::string> TimelineAfterStartup() const {
    const auto all = sim_.Timeline();
    const auto start = std::find(all.begin(), all.end(), "display Updating firmware...");
    return start == all.end() ? all : std::vector<std::string>(start + 1, all.end());
  }

  Instrument sim_;
  std::string medium_;
};

TEST_F(UpdateRun, InstallsAndRestartsTheMainApplication) {
  test::WriteFile(Host("/home/Corvenal/bin/corvenal"), kOldApp);
  Plug("SectionList\nSequence = Install\n\n" + TransferStep("Install", kNewApp));
  const Outcome run = sim_.Run({});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Read("/home/Corvenal/bin/corvenal"), kNewApp);
  EXPECT_EQ(Read("/home/Corvenal/bin/corvenal.bak"), kOldApp);
  EXPECT_FALSE(fs::exists(Host("/home/Corvenal/download/app.new")));
  EXPECT_EQ(fs::status(Host("/home/Corvenal/bin/corvenal")).permissions(),
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                fs::perms::others_read | fs::perms::others_exec);
  EXPECT_FALSE(Mounted());
  std::vector<std::string> expected = {"sync"};  // the copy's sync
  expected.insert(expected.end(), kRestartEnding.begin(), kRestartEnding.end());
  EXPECT_THAT(TimelineAfterStartup(), ElementsAreArray(expected));
}

TEST_F(UpdateRun, RebootComesLastWhereverItIsListed) {
  Plug(
      "SectionList\nSequence = Restart, Steps\nSteps = Flash, Clean\n"
      "Restart\nOperation = Reboot\n"
      "Flash\nOperation = FlashUpdate\nDevice = /dev/mtd3\nOffset =\nEraseCommand =\n"
      "WriteCommand = flashcp -v\nDataPath1 = /mnt/firmware/fpga.bin\n"
      "Clean\nOperation = RemoveFiles\nfile1 = /home/Corvenal/old\n");
  test::WriteFile(Host("/home/Corvenal/old"), "x");
  const Outcome run = sim_.Run({});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::exists(Host("/home/Corvenal/old")));
  EXPECT_THAT(TimelineAfterStartup(),
              ElementsAre("command flashcp -v /mnt/firmware/fpga.bin /dev/mtd3 -> recorded", "sync",
                          "umount /mnt -> 0", "display Please remove USB device.",
                          "unplug /dev/disk/by-label/CORVENAL", "sleep 1", "display Rebooting...",
                          "sleep 1", "reboot", "sleep 1"));
}

TEST_F(UpdateRun, AbortsReleaseTheMediumAndRestart) {
  struct Case {
    const char* name;
    std::string manifest;  // empty: no manifest on the medium
    std::vector<std::string> args;
    int code;
  };
  const std::vector<Case> cases = {
      {"no manifest", "", {}, 610},
      {"bad manifest", "x = 1\n", {}, 610},
      // Blank lines alone would give 613: the size is refused before any is read.
      {"huge manifest", std::string(kMaxManifestBytes + 1, '\n'), {}, 610},
      {"no signature", "SectionList\nSequence = A\n", {"-s"}, 668},
      {"empty sequence", "SectionList\nSequence =\n", {}, 613},
      {"cycle", "SectionList\nSequence = A\nA = B\nB = A\n", {}, 613},
      {"blank-led long line",
       "SectionList\nSequence = A\n" + std::string(255, ' ') + "A = B\n",
       {},
       610},
      {"long operation",
       "SectionList\nSequence = A\nA\nOperation = " + std::string(64, 'o') + "\n",
       {},
       606},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Instrument sim;
    const std::string medium = sim.Medium();
    if (!c.manifest.empty()) test::WriteFile(medium + "/firmware/AuxInfo.txt", c.manifest);
    ASSERT_EQ(Sim({"plug", sim.dir(), medium}).status, 0);
    EXPECT_EQ(sim.Run(c.args).status, 1);
    EXPECT_EQ(test::ReadFile(sim.Host("/home/Corvenal/log/UpdateErrorLog.txt")),
              "1902 " + std::to_string(c.code) + "\n");
    EXPECT_FALSE(fs::exists(sim.Host("/sim/mount"))) << "medium left mounted";
    const std::string shown = "display Error updating firmware: " + std::to_string(c.code);
    auto timeline = sim.Timeline();
    const auto start = std::find(timeline.begin(), timeline.end(), "display Updating firmware...");
    ASSERT_NE(start, timeline.end());
    const std::vector<std::string> tail(start + 1, timeline.end());
    // 610 and 668 unmount before the report; the other aborts unmount after it.
    if (c.code == 610 || c.code == 668) {
      EXPECT_THAT(tail, ElementsAre("umount /mnt -> 0", shown, "main-application started"));
    } else {
      EXPECT_THAT(tail, ElementsAre(shown, "umount /mnt -> 0", "main-application started"));
    }
  }
}

TEST_F(UpdateRun, PlainStopsLeaveTheMediumMountedAndRestartNothing) {
  Plug(
      "SectionList\nSequence = Clean, Install\n"
      "Clean\nOperation = RemoveFiles\nfile1 = /home/Corvenal/old\n" +
      TransferStep("Install", kNewApp));
  fs::remove(medium_ + "/firmware/app");
  test::WriteFile(Host("/home/Corvenal/old"), "x");
  EXPECT_EQ(sim_.Run({}).status, 1);
  EXPECT_EQ(Log(), "1902 651\n");
  EXPECT_FALSE(fs::exists(Host("/home/Corvenal/old")));  // the earlier step took effect
  EXPECT_TRUE(Mounted());
  EXPECT_THAT(TimelineAfterStartup(), ElementsAre("display Error updating firmware: 651"));
}

TEST_F(UpdateRun, OlderOrSameBuildsAreReportedAndTheRunGoesOn) {
  test::WriteFile(Host("/home/Corvenal/bin/corvenal"), kOldApp);
  Plug("SectionList\nSequence = Same, Newer, Unchecked\n" +
       TransferStep("Same", kNewApp, "TimeStamp = 2026-11-30 14:05:00\n") +
       TransferStep("Newer", kNewApp, "TimeStamp = 2027-01-01 00:00:00\n") +
       TransferStep("Unchecked", kNewApp,
                    "TimeStamp = 2020-01-01 00:00:00\nTimeStampCheck = FALSE\n"));
  const Outcome run = sim_.Run({"-t", "2026-11-30 14:05:00"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Log(), "1902 660\n");
  // The section without the check installed; the gated ones did not.
  EXPECT_EQ(Read("/home/Corvenal/bin/corvenal"), kNewApp);
  const auto timeline = TimelineAfterStartup();
  EXPECT_EQ(std::count(timeline.begin(), timeline.end(), "display Error updating firmware: 660"),
            3);
  EXPECT_EQ(timeline.back(), "main-application started");
}

TEST_F(UpdateRun, OlderBuildIsReported659AndForceInstalls) {
  test::WriteFile(Host("/home/Corvenal/bin/corvenal"), kOldApp);
  Plug("SectionList\nSequence = Install\n" +
       TransferStep("Install", kNewApp, "TimeStamp = 2019-05-21 08:19:37\n"));
  EXPECT_EQ(sim_.Run({"-t", "2026-11-30 14:05:00"}).status, 0);
  EXPECT_EQ(Log(), "1902 659\n");
  EXPECT_EQ(Read("/home/Corvenal/bin/corvenal"), kOldApp);

  ASSERT_EQ(Sim({"plug", sim_.dir(), medium_}).status, 0);
  EXPECT_EQ(sim_.Run({"-t", "2026-11-30 14:05:00", "-f"}).status, 0);
  EXPECT_EQ(Read("/home/Corvenal/bin/corvenal"), kNewApp);
  EXPECT_EQ(Log(), "1902 659\n");  // a successful run leaves the log as it was
}

TEST_F(UpdateRun, SignedManifestRunsOnlyWhenItsBytesVerify) {
  test::TempDir keys;
  ASSERT_TRUE(MakeKeyPair(keys.path()));
  fs::copy_file(keys / "key.pub", Host("/home/Corvenal/bin/MirelCal.pub"));
  const std::string manifest =
      "SectionList\nSequence = Clean\nClean\nOperation = RemoveFiles\nfile1 = /home/Corvenal/old\n";
  Plug(manifest);
  ASSERT_TRUE(SignFile(keys.path(), medium_ + "/firmware/AuxInfo.txt",
                       medium_ + "/firmware/AuxInfo.txt.sha256"));

  // One changed byte: the signature no longer matches.
  test::WriteFile(medium_ + "/firmware/AuxInfo.txt",
                  "SectionList\nSequence = Clean\nClean\nOperation = RemoveFiles\nfile1 = "
                  "/home/Corvenal/olD\n");
  test::WriteFile(Host("/home/Corvenal/old"), "x");
  const Outcome tampered = sim_.Run({"-s"});
  EXPECT_EQ(tampered.status, 1);
  EXPECT_THAT(tampered.out, HasSubstr("EVP_DigestVerifyFinal failed, error 0x"));
  EXPECT_EQ(Log(), "1902 668\n");
  EXPECT_TRUE(fs::exists(Host("/home/Corvenal/old")));

  test::WriteFile(medium_ + "/firmware/AuxInfo.txt", manifest);
  ASSERT_EQ(Sim({"plug", sim_.dir(), medium_}).status, 0);
  const Outcome good = sim_.Run({"-s"});
  EXPECT_EQ(good.status, 0) << good.out << good.err;
  EXPECT_FALSE(fs::exists(Host("/home/Corvenal/old")));
}

TEST_F(UpdateRun, FailedFlashingIsReportedAndTheRunGoesOn) {
  struct Case {
    const char* name;
    std::string step;
    std::vector<std::string> commands;  // the timeline's command lines
    int code;                           // reported, or 0 for none
  };
  const std::string flash =
      "Operation = FlashUpdate\nDevice = /dev/mtd3\nOffset = 0\nEraseCommand = e\nWriteCommand = ";
  const std::string msp =
      "Operation = MSP430Update\nCommandJTAG = true\nCommand1 = exit 1\nCommand2 = ";
  const std::vector<Case> cases = {
      {"flash fails",
       flash + "false\nDataPath1 = fpga.bin\n",
       {"command false fpga.bin /dev/mtd3 -> 1"},
       640},
      {"flash works",
       flash + "true\nDataPath1 = fpga.bin\n",
       {"command true fpga.bin /dev/mtd3 -> 0"},
       0},
      {"Command2 works",
       msp + "true\n",
       {"command true -> 0", "command exit 1 -> 1", "command true -> 0"},
       0},
      {"Command2 works at its second run",
       msp + "test -e m || { touch m; exit 2; }\n",
       {"command true -> 0", "command exit 1 -> 1",
        "command test -e m || { touch m; exit 2; } -> 2",
        "command test -e m || { touch m; exit 2; } -> 0"},
       0},
      {"all fail",
       msp + "exit 3\n",
       {"command true -> 0", "command exit 1 -> 1", "command exit 3 -> 3", "command exit 3 -> 3"},
       641},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Instrument sim;
    const std::string medium = sim.Medium();
    test::WriteFile(medium + "/firmware/AuxInfo.txt",
                    "SectionList\nSequence = S, Clean\nS\n" + c.step +
                        "Clean\nOperation = RemoveFiles\nfile1 = /home/Corvenal/old\n");
    test::WriteFile(sim.Host("/home/Corvenal/old"), "x");
    ASSERT_EQ(Sim({"plug", sim.dir(), medium}).status, 0);
    const Outcome run = Sim({"run", sim.dir(), "--commands", "run"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/old")));  // the later step ran
    const std::string log = sim.Host("/home/Corvenal/log/UpdateErrorLog.txt");
    EXPECT_EQ(fs::exists(log) ? test::ReadFile(log) : "",
              c.code == 0 ? "" : "1902 " + std::to_string(c.code) + "\n");
    std::vector<std::string> expected = c.commands;
    if (c.code != 0) {
      expected.push_back("display Error updating firmware: " + std::to_string(c.code));
    }
    expected.insert(expected.end(), kRestartEnding.begin(), kRestartEnding.end());
    const auto timeline = sim.Timeline();
    const auto start = std::find(timeline.begin(), timeline.end(), "display Updating firmware...");
    ASSERT_NE(start, timeline.end());
    EXPECT_THAT(std::vector<std::string>(start + 1, timeline.end()), ElementsAreArray(expected));
  }

  // A failed JTAG check stops the run before Command1.
  Plug(
      "SectionList\nSequence = Panel\nPanel\nOperation = MSP430Update\n"
      "CommandJTAG = exit 4\nCommand1 = true\nCommand2 = true\n");
  EXPECT_EQ(Sim({"run", sim_.dir(), "--commands", "run"}).status, 1);
  EXPECT_EQ(Log(), "1902 667\n");
  EXPECT_THAT(TimelineAfterStartup(),
              ElementsAre("command exit 4 -> 4", "display Error updating firmware: 667"));
}

TEST_F(UpdateRun, InlineOperationsStopWithTheirCodes) {
  struct Case {
    std::string section;
    int code;
  };
  const std::string longCommand(128, 'c');
  const std::vector<Case> cases = {
      {"Operation = MSP430Update\nCommand1 = a\nCommand2 = b\n", 666},
      {"Operation = MSP430Update\nCommandJTAG = " + longCommand + "\nCommand1 = a\nCommand2 = b\n",
       666},
      {"Operation = MSP430Update\nCommandJTAG = j\nCommand2 = b\n", 646},
      {"Operation = MSP430Update\nCommandJTAG = j\nCommand1 = a\nCommand2 = " + longCommand + "\n",
       647},
      {"Operation = FlashUpdate\nOffset = 0\nEraseCommand = e\nWriteCommand = w\n", 634},
      {"Operation = FlashUpdate\nDevice = d\nEraseCommand = e\nWriteCommand = w\nDataPath1 = p\n",
       637},
      {"Operation = FlashUpdate\nDevice = d\nOffset = 0\nWriteCommand = w\nDataPath1 = p\n", 635},
      {"Operation = FlashUpdate\nDevice = d\nOffset = 0\nEraseCommand = e\nDataPath1 = p\n", 639},
      {"Operation = FlashUpdate\nDevice = d\nOffset = 0\nEraseCommand = e\nWriteCommand = w\n",
       632},
      {"Operation = FlashUpdate\nDevice = " + std::string(64, 'd') + "\n", 636},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Instrument sim;
    const std::string medium = sim.Medium();
    test::WriteFile(medium + "/firmware/AuxInfo.txt", "SectionList\nSequence = S\nS\n" + c.section);
    ASSERT_EQ(Sim({"plug", sim.dir(), medium}).status, 0);
    EXPECT_EQ(sim.Run({}).status, 1);
    EXPECT_EQ(test::ReadFile(sim.Host("/home/Corvenal/log/UpdateErrorLog.txt")),
              "1902 " + std::to_string(c.code) + "\n");
    EXPECT_THAT(sim.Timeline(), Not(Contains(::testing::StartsWith("command"))));
  }
}

TEST_F(UpdateRun, RemoveFilesGoesOnAfterAFailureAndReportsItAtTheEnd) {
  for (const char* name : {"/home/Corvenal/a", "/home/Corvenal/c", "/home/Corvenal/e"}) {
    test::WriteFile(Host(name), "x");
  }
  fs::create_directories(Host("/home/Corvenal/dir"));
  Plug(
      "SectionList\nSequence = Clean\nClean\nOperation = RemoveFiles\n"
      "file1 = /home/Corvenal/dir\nfile2 = /home/Corvenal/a\nfile3 = /home/Corvenal/missing\n"
      "file4 = /home/Corvenal/c\nfile6 = /home/Corvenal/e\n");
  EXPECT_EQ(sim_.Run({}).status, 1);
  EXPECT_EQ(Log(), "1902 657\n");
  EXPECT_FALSE(fs::exists(Host("/home/Corvenal/a")));
  EXPECT_FALSE(fs::exists(Host("/home/Corvenal/c")));
  EXPECT_TRUE(fs::exists(Host("/home/Corvenal/e")));  // after the gap at file5
  EXPECT_TRUE(fs::is_directory(Host("/home/Corvenal/dir")));
}

TEST_F(UpdateRun, SettingsAreMergedIntoPreparedBackupDirectories) {
  test::WriteFile(medium_ + "/firmware/Unit.cfg", "V2\nGain 1\nRange 2\nZero 3\n");
  test::WriteFile(Host("/home/Corvenal/bin/Unit.cfg"), "V1\nGain 10\nZero 30\n");
  const std::string steps =
      "SectionList\nSequence = Dirs, Settings\n"
      "Dirs\nOperation = BackupFiles\nDestDir = /home/Corvenal/backup\n"
      "DestDir1 = /home/Corvenal/backup/bin\nDestDir2 = /home/Corvenal/backup/log\n"
      "Settings\nOperation = ConfigUpdate\nSrcDir = /mnt/firmware\nSrcFile = Unit.cfg\n"
      "DestDir = /home/Corvenal/bin\nDestFile = Unit.cfg\n"
      "BackupDir = /home/Corvenal/backup/bin\nBackupFile = Unit.cfg.bak\n";
  Plug(steps);
  EXPECT_EQ(sim_.Run({}).status, 0);
  EXPECT_TRUE(fs::is_directory(Host("/home/Corvenal/backup/log")));
  EXPECT_EQ(Read("/home/Corvenal/bin/Unit.cfg"), "V2\nGain 10\nRange 2\nZero 30\n");
  EXPECT_EQ(Read("/home/Corvenal/backup/bin/Unit.cfg.bak"), "V1\nGain 10\nZero 30\n");

  // An installed file without a version line stops the run, mounted, with 663.
  test::WriteFile(Host("/home/Corvenal/bin/Unit.cfg"), "Gain 10\n");
  ASSERT_EQ(Sim({"plug", sim_.dir(), medium_}).status, 0);
  EXPECT_EQ(sim_.Run({}).status, 1);
  EXPECT_EQ(Log(), "1902 663\n");
  EXPECT_EQ(Read("/home/Corvenal/bin/Unit.cfg"), "Gain 10\n");
  EXPECT_TRUE(Mounted());
}

// Another spelling or a folder where a file is wanted: refused before anything
// is touched. A backup that is a second link of the installed file (what an
// install cut short leaves) is no alias.
TEST_F(UpdateRun, PathsAreComparedByWhatTheyName) {
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string install = TransferStep("Step", kNewApp);
  const std::string settings = "V1\nGain 10\n";
  struct Case {
    std::string step;
    int code;
    bool linkedBackup = false;
  };
  const std::vector<Case> cases = {
      {replaced(install, "BackupDir = /home/Corvenal/bin\nBackupFile = corvenal.bak",
                "BackupDir = /home/Corvenal/bin/\nBackupFile = corvenal"),
       605},
      {"Step\nOperation = ConfigUpdate\nSrcDir = /mnt/firmware\nSrcFile = Unit.cfg\n"
       "DestDir = /home/Corvenal/bin\nDestFile = Unit.cfg\n"
       "BackupDir = /home/Corvenal/bin/.\nBackupFile = Unit.cfg\n",
       624},
      {replaced(install,
                "DestDir = /home/Corvenal/bin\nDestFile = corvenal\n"
                "BackupDir = /home/Corvenal/bin\nBackupFile = corvenal.bak",
                "DestDir = /home/Corvenal\nDestFile = bin\n"
                "BackupDir = /home/Corvenal\nBackupFile = bin.bak"),
       642},
      {install, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Instrument sim;
    const std::string medium = sim.Medium();
    test::WriteFile(medium + "/firmware/app", kNewApp);
    test::WriteFile(medium + "/firmware/Unit.cfg", "V2\nGain 1\n");
    test::WriteFile(medium + "/firmware/AuxInfo.txt", "SectionList\nSequence = Step\n" + c.step);
    test::WriteFile(sim.Host("/home/Corvenal/bin/corvenal"), kOldApp);
    test::WriteFile(sim.Host("/home/Corvenal/bin/Unit.cfg"), settings);
    if (c.linkedBackup) {
      fs::create_hard_link(sim.Host("/home/Corvenal/bin/corvenal"),
                           sim.Host("/home/Corvenal/bin/corvenal.bak"));
    }
    ASSERT_EQ(Sim({"plug", sim.dir(), medium}).status, 0);
    EXPECT_EQ(sim.Run({}).status, c.code == 0 ? 0 : 1);
    EXPECT_EQ(test::ReadFile(sim.Host("/home/Corvenal/log/UpdateErrorLog.txt")),
              c.code == 0 ? "" : "1902 " + std::to_string(c.code) + "\n");
    EXPECT_EQ(test::ReadFile(sim.Host("/home/Corvenal/bin/corvenal")),
              c.code == 0 ? kNewApp : kOldApp);
    EXPECT_EQ(test::ReadFile(sim.Host("/home/Corvenal/bin/Unit.cfg")), settings);
  }
}

TEST_F(UpdateRun, UnknownStepsArePassedOverSilently) {
  Plug(
      "SectionList\nSequence = Missing, NoOperation, Lower, Done\n"
      "NoOperation\nKey = value\nLower\nOperation = transferfile\n"
      "Done\nOperation = RemoveFiles\n");
  EXPECT_EQ(sim_.Run({}).status, 0);
  EXPECT_FALSE(fs::exists(Host("/home/Corvenal/log/UpdateErrorLog.txt")));
  EXPECT_THAT(TimelineAfterStartup(), ElementsAreArray(kRestartEnding));
}

}  // namespace
}  // namespace upd::e2e
