// Whole updates through update-sim: the steps, their digests and both endings;
// and a hostile medium whose links and FIFOs never lead out of the instrument.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
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
constexpr const char kOld[] = "/home/Corvenal/old";
constexpr const char kCfg[] = "/home/Corvenal/bin/Corvenal.cfg";
constexpr const char kSettings[] = "V1\nGain 10\n";
const std::string kClean = "Clean\nOperation = RemoveFiles\nfile1 = /home/Corvenal/old\n";

// A step `name` that installs firmware/app from the medium as the main application.
std::string Install(const std::string& name, const std::string& extra = "") {
  return name + "\n" + Transfer("app", "corvenal", kNewApp) + extra;
}

// An instrument with the old build installed and the new one on the medium.
class UpdateRun : public ::testing::Test {
 protected:
  UpdateRun() {
    test::WriteFile(sim_.Host(kApp), kOldApp);
    test::WriteFile(sim_.Host(kOld), "x");
    test::WriteFile(sim_.medium() + "/firmware/app", kNewApp);
  }

  Instrument sim_;
};

// Steps without a known operation (letter case counts) are passed over; a
// reboot comes last wherever it is listed.
TEST_F(UpdateRun, InstallsAndRebootsAtTheEnd) {
  sim_.Plug(
      "SectionList\nSequence = Restart, Missing, NoOperation, Lower, Install, Steps\n"
      "Steps = Flash, Clean\nRestart\nOperation = Reboot\nNoOperation\nKey = value\n"
      "Lower\nOperation = transferfile\n" +
      Install("Install") +
      "Flash\nOperation = FlashUpdate\nDevice = /dev/mtd3\nOffset =\nEraseCommand =\n"
      "WriteCommand = flashcp -v\nDataPath1 = /mnt/firmware/fpga.bin\n" +
      kClean);
  const Outcome run = sim_.Run({});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(sim_.Read(kApp), kNewApp);
  EXPECT_FALSE(fs::exists(sim_.Host(kOld)));
  EXPECT_FALSE(fs::exists(sim_.Host("/home/Corvenal/log/UpdateErrorLog.txt")));
  EXPECT_THAT(sim_.AfterStartup(),
              ElementsAre("sync", "command flashcp -v /mnt/firmware/fpga.bin /dev/mtd3 -> recorded",
                          "sync", "umount /mnt -> 0", "display Please remove USB device.",
                          "unplug /dev/disk/by-label/CORVENAL", "sleep 1", "display Rebooting...",
                          "sleep 1", "reboot", "sleep 1"));
}

// A run that stops shows and logs its code. An unreadable or unsigned manifest
// unmounts before the report, the other aborts after it, both restart the main
// application; a failed step leaves the medium mounted and restarts nothing.
// RemoveFiles goes on past a file it cannot remove, up to a gap in its numbers.
TEST(Stops, ReleaseTheMediumAndRestartOrLeaveItMounted) {
  const std::string umount = "umount /mnt -> 0";
  const std::string restart = "main-application started";
  const std::string clean = "SectionList\nSequence = Clean, Install\n" + kClean;
  // file5 is missing: file6 is never looked at.
  const std::string gap =
      "file2 = /home/Corvenal/bin/dir\nfile3 = /home/Corvenal/missing\nfile4 = /home/Corvenal/c\n"
      "file6 = /home/Corvenal/e\n";
  const struct {
    std::string manifest;  // empty: no manifest on the medium
    int code;
    std::vector<std::string> after;  // the timeline after start-up
    std::vector<std::string> args = {};
  } cases[] = {
      {"", 610, {umount, Shown(610), restart}},
      {"SectionList\nSequence = A\n", 668, {umount, Shown(668), restart}, {"-s"}},
      {"SectionList\nSequence =\n", 613, {Shown(613), umount, restart}},
      // A destination that is a folder is refused before the step touches a file.
      {clean + "Install\n" + Transfer("app", "dir", kNewApp), 642, {Shown(642)}},
      {clean + gap + Install("Install"), 657, {Shown(657)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    Instrument sim;
    test::WriteFile(sim.Host(kApp), kOldApp);
    for (const char* name : {kOld, "/home/Corvenal/c", "/home/Corvenal/e"})
      test::WriteFile(sim.Host(name), "x");
    fs::create_directories(sim.Host("/home/Corvenal/bin/dir"));
    if (c.code == 642) test::WriteFile(sim.medium() + "/firmware/app", kNewApp);
    sim.Plug(c.manifest);
    EXPECT_EQ(sim.Run(c.args).status, 1);
    EXPECT_EQ(sim.Log(), Logged(c.code));
    EXPECT_THAT(sim.AfterStartup(), ElementsAreArray(c.after));
    EXPECT_EQ(sim.Mounted(), c.after.size() == 1);
    EXPECT_EQ(fs::exists(sim.Host(kOld)), !c.manifest.starts_with(clean));
    EXPECT_EQ(fs::exists(sim.Host("/home/Corvenal/c")), c.code != 657);
    EXPECT_TRUE(fs::exists(sim.Host("/home/Corvenal/e")) &&
                fs::exists(sim.Host("/home/Corvenal/bin/dir")));
    EXPECT_EQ(sim.Read(kApp), kOldApp);
    EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/download/app.new")));
  }
}

// Once a build was found older or the same, every later gated step is skipped and reported.
TEST_F(UpdateRun, OlderOrSameBuildsAreReportedAndTheRunGoesOn) {
  sim_.Plug("SectionList\nSequence = Same, Newer, Unchecked\n" +
            Install("Same", "TimeStamp = 2026-11-30 14:05:00\n") +
            Install("Newer", "TimeStamp = 2027-01-01 00:00:00\n") +
            Install("Unchecked", "TimeStamp = 2020-01-01 00:00:00\nTimeStampCheck = FALSE\n"));
  EXPECT_EQ(sim_.Run({"-t", "2026-11-30 14:05:00"}).status, 0);
  EXPECT_EQ(sim_.Log(), "1902 660\n");
  EXPECT_EQ(sim_.Read(kApp), kNewApp);  // by the step without the check
  const auto timeline = sim_.AfterStartup();
  EXPECT_EQ(std::count(timeline.begin(), timeline.end(), Shown(660)), 3);
  EXPECT_EQ(timeline.back(), "main-application started");

  // Forced, nothing is reported, and the log keeps the last code.
  sim_.Plug();
  EXPECT_EQ(sim_.Run({"-t", "2026-11-30 14:05:00", "-f"}).status, 0);
  EXPECT_EQ(sim_.AfterStartup(), ThenRestart({"sync", "sync", "sync"}));
  EXPECT_EQ(sim_.Log(), "1902 660\n");
}

// A ConfigUpdate step of /mnt/firmware/SRC into the settings, backed up in BACKUPDIR.
std::string Merge(const std::string& src, const std::string& backupDir) {
  return "Operation = ConfigUpdate\nSrcDir = /mnt/firmware\nSrcFile = " + src +
         "\nDestDir = /home/Corvenal/bin\nDestFile = Corvenal.cfg\nBackupDir = " + backupDir +
         "\nBackupFile = Corvenal.cfg.bak\n";
}

// One step, then a RemoveFiles step, the commands run. Failed flashing is
// reported and the run goes on; a failed JTAG check stops it. A file that does
// not match a digest entry (either may stand alone) stops the run before the
// step changes a file or runs a command.
TEST(Steps, CommandsAndDigestsDecideWhetherTheRunGoesOn) {
  const std::string data = "V2\nGain 1\nRange 2\n";  // a template, and an image
  const std::string backup = "V0\nGain 5\n";
  const std::string md5 = "MD5Hash = " + test::Md5Hex(data) + "\n";
  const std::string sha = "SHA256Hash = " + test::Sha256Hex(data) + "\n";
  std::string upper = md5;
  for (std::size_t at = 10; at < upper.size(); ++at)
    upper[at] = static_cast<char>(std::toupper(upper[at]));
  const std::string cfg = Merge("data", "/home/Corvenal/bin");
  const std::string flash =
      "Operation = FlashUpdate\nDevice = /dev/mtd3\nOffset = 0\nEraseCommand = e\nWriteCommand = ";
  const std::string image = "true\nDataPath1 = /mnt/firmware/data\n";
  const std::string msp = "Operation = MSP430Update\nCommandJTAG = true\nCommand1 = ";
  const std::string fails = msp + "exit 1\nCommand2 = ";
  const std::string panel = msp + "true\nCommand2 = true\n";
  const std::string path = "DataPath1 = /mnt/firmware/data\n";
  const std::string retry = "test -e m || { touch m; exit 2; }";
  const std::vector<std::string> both = {"true -> 0", "true -> 0"};
  enum File { kAsSigned, kTampered, kMissing };
  const struct {
    std::string step;
    int code;                           // reported, or 0 for none
    std::vector<std::string> commands;  // the timeline's command lines, without "command "
    File data = kAsSigned;              // the file that the digests are of
  } cases[] = {
      {flash + "false\nDataPath1 = fpga.bin\n", 640, {"false fpga.bin /dev/mtd3 -> 1"}},
      {fails + "true\n", 0, {"true -> 0", "exit 1 -> 1", "true -> 0"}},
      {fails + retry + "\n", 0, {"true -> 0", "exit 1 -> 1", retry + " -> 2", retry + " -> 0"}},
      {fails + "exit 3\n", 641, {"true -> 0", "exit 1 -> 1", "exit 3 -> 3", "exit 3 -> 3"}},
      {"Operation = MSP430Update\nCommandJTAG = exit 4\nCommand1 = true\nCommand2 = true\n",
       667,
       {"exit 4 -> 4"}},
      {cfg + md5, 0, {}},
      {cfg + sha, 643, {}, kTampered},
      {cfg + upper, 643, {}},
      {flash + image + sha, 0, {"true /mnt/firmware/data /dev/mtd3 -> 0"}},
      {flash + image + sha, 644, {}, kMissing},
      {panel + path + md5, 0, both},
      {panel + path, 0, both, kMissing},
      {panel + path + md5 + sha, 645, {}, kMissing},
      {panel + md5, 645, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    Instrument sim;
    // Tampered: a line added after the digests were taken.
    if (c.data != kMissing)
      test::WriteFile(sim.medium() + "/firmware/data",
                      c.data == kTampered ? data + "Backdoor on\n" : data);
    test::WriteFile(sim.Host(kCfg), kSettings);
    test::WriteFile(sim.Host("/home/Corvenal/bin/Corvenal.cfg.bak"), backup);
    test::WriteFile(sim.Host(kOld), "x");
    sim.Plug("SectionList\nSequence = S, Clean\nS\n" + c.step + kClean);
    const bool stops = c.code > 641;  // 640 and 641 are reported, the run goes on
    const Outcome run = sim.Run({}, {"--commands", "run"});
    EXPECT_EQ(run.status, stops ? 1 : 0) << run.err;
    EXPECT_EQ(fs::exists(sim.Host(kOld)), stops);  // whether the later step ran
    EXPECT_EQ(sim.Log(), Logged(c.code));
    const bool merges = !stops && c.step.starts_with(cfg);
    EXPECT_EQ(sim.Read(kCfg), merges ? "V2\nGain 10\nRange 2\n" : kSettings);
    EXPECT_EQ(sim.Read("/home/Corvenal/bin/Corvenal.cfg.bak"), merges ? kSettings : backup);
    EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/bin/Corvenal.cfg.new")));
    std::vector<std::string> expected;
    for (const std::string& command : c.commands) expected.push_back("command " + command);
    if (c.code != 0) expected.push_back(Shown(c.code));
    EXPECT_THAT(sim.AfterStartup(), ElementsAreArray(stops ? expected : ThenRestart(expected)));
  }
}

// A hostile medium, run with the kernel's resolution and with the component walk.
class Confinement : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ::setenv("UPDATE_SIM_RESOLVE", GetParam(), 1);
    test::WriteFile(host_ / "v.txt", "host");
    test::WriteFile(medium_ + "/firmware/cfg", "V2\nGain 1\n");
    test::WriteFile(medium_ + "/firmware/app", kNewApp);
    test::WriteFile(sim_.Host(kCfg), kSettings);
    test::WriteFile(sim_.Host(kApp), kOldApp);
    // Links that would lead onto the host: on the medium, in the instrument's
    // folder by the host's absolute path, and climbing out by "..".
    fs::create_directory_symlink(host_.path(), medium_ + "/firmware/logs");
    fs::create_symlink(host_ / "v.txt", medium_ + "/firmware/cfglink");
    fs::create_directory_symlink(host_.path(), sim_.Host("/home/Corvenal/abs"));
    fs::create_directory_symlink("../../../../../../../../../..", sim_.Host("/home/Corvenal/up"));
    ASSERT_EQ(::mkfifo((medium_ + "/firmware/fifo").c_str(), 0644), 0);
  }
  void TearDown() override { ::unsetenv("UPDATE_SIM_RESOLVE"); }

  Instrument sim_;
  const std::string& medium_ = sim_.medium();
  test::TempDir host_;
};

TEST_P(Confinement, NothingOutsideTheInstrumentOrTheMediumIsReached) {
  const std::string payload = "#!/bin/sh\necho ran > '" + host_.path() + "/ran'\n";
  test::WriteFile(medium_ + "/firmware/qsplash", payload);
  const struct {
    std::string step;
    int code;
  } cases[] = {
      // A dry run starts the stub, not a program the medium put in its place.
      {Transfer("qsplash", "qsplash", payload, "/home/Corvenal/bin"), 0},
      // The files lie outside: on the instrument they do not exist, which is no failure.
      {"Operation = RemoveFiles\nfile1 = /mnt/firmware/logs/v.txt\n"
       "file2 = /home/Corvenal/abs/v.txt\nfile3 = /home/Corvenal/up" +
           host_.path() + "/v.txt\n",
       0},
      // The backup folder lies behind a link that leads outside.
      {Merge("cfg", "/home/Corvenal/abs"), 629},
      // Neither a link nor a FIFO can be a file on a vfat stick: unreadable.
      {Merge("cfglink", "/home/Corvenal/bin"), 627},
      {Merge("fifo", "/home/Corvenal/bin"), 627},
      // The copy on the stick cannot be renamed across file systems into place.
      {Transfer("app", "corvenal", kNewApp, "/mnt/firmware"), 655},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    sim_.Plug(OneStep(c.step));
    const Outcome run = sim_.Run({});
    EXPECT_EQ(run.status, c.code == 0 ? 0 : 1) << run.err;
    EXPECT_EQ(sim_.Log(), Logged(c.code));
    ASSERT_EQ(Sim({"unplug", sim_.dir()}).status, 0);
    fs::remove(sim_.Host("/sim/mount"));
  }
  EXPECT_EQ(test::ReadFile(host_ / "v.txt"), "host");
  EXPECT_EQ(std::distance(fs::directory_iterator(host_.path()), fs::directory_iterator()), 1);
  EXPECT_EQ(sim_.Read(kCfg), kSettings);
  EXPECT_EQ(sim_.Read(kApp), kOldApp);
  EXPECT_EQ(sim_.Read("/home/Corvenal/bin/qsplash"), payload);
}

INSTANTIATE_TEST_SUITE_P(Resolution, Confinement, ::testing::Values("kernel", "walk"));

}  // namespace
}  // namespace upd::e2e
