// The updater's start-up driven through update-sim, as a technician's run
// would go, and update-sim's own use.
#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <utility>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim_runner.h"

namespace upd::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char kUsage[] =
    "Usage: ./update [-d <device>] [-t <timestamp>] [-f] [-m]\n"
    "       where:\n"
    "            -d  -  device name\n"
    "                   <device> ex: /dev/sda1\n"
    "            -t  -  specify build timestamp of current firmware\n"
    "                   <timestamp> format is YYYY-MM-DD HH:MM:SS\n"
    "            -f  -  force override of timestamp check\n"
    "            -s  -  perform SSL check\n"
    "            -h  -  display usage message, then terminate\n"
    "            -m  -  enable MSG macro\n";

const std::regex kBanner(
    R"(4271C firmware updater v0\.4 \([A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] \d\d:\d\d:\d\d \d{4}\)
)");

TEST(Startup, HelpPrintsBannerAndUsageAndTouchesNoMedium) {
  Instrument sim;
  const Outcome run = sim.Run({"-f", "-h"});
  EXPECT_EQ(run.status, 1);
  ASSERT_GT(run.out.size(), sizeof kUsage - 1);
  const std::string banner = run.out.substr(0, run.out.size() - (sizeof kUsage - 1));
  EXPECT_TRUE(std::regex_match(banner, kBanner)) << banner;
  EXPECT_EQ(run.out.substr(banner.size()), kUsage);
  EXPECT_TRUE(fs::is_directory(sim.Host("/home/Corvenal/download")));
  EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/log/UpdateErrorLog.txt")));
  EXPECT_THAT(sim.Timeline(), ElementsAre("run -f -h"));
}

TEST(Startup, DoubleMAnnouncesMessagesOnStandardError) {
  Instrument sim;
  const Outcome run = sim.Run({"-mm", "-m"});
  EXPECT_EQ(run.status, 1);  // no stick plugged
  EXPECT_EQ(run.err.substr(0, run.err.find("update-sim: ")), "calling dpr_config to enable MESG\n");
  EXPECT_THAT(sim.Run({"-m"}).err, Not(HasSubstr("dpr_config")));
}

TEST(Startup, MissingStickIsReported652) {
  Instrument sim;
  EXPECT_EQ(sim.Run({}).status, 1);
  EXPECT_EQ(sim.Log(), "1902 652\n");
  EXPECT_THAT(sim.Timeline(), ElementsAre("run", "sync", "display Error updating firmware: 652"));

  // A presence entry without the device node is no medium either.
  ASSERT_EQ(Sim({"plug", sim.dir(), sim.medium(), "--device", "/dev/sdb1"}).status, 0);
  EXPECT_EQ(sim.Run({}).status, 1);
  EXPECT_THAT(sim.Timeline(), Not(Contains(StartsWith("mount"))));

  fs::remove_all(sim.Host("/home/Corvenal/log"));
  EXPECT_EQ(sim.Run({}).status, 1);
  EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/log")));
  EXPECT_EQ(sim.Timeline().back(), "display Error updating firmware: 652");
}

TEST(Startup, OverLongOptionValuesTryAnUnmountAndStop) {
  Instrument sim;
  const std::string device63 = "/dev/" + std::string(58, 'd');
  const std::string timestamp31(31, 't');
  // Accepted values go on to the medium test (none is plugged).
  EXPECT_EQ(sim.Run({"-d", device63, "-t", timestamp31}).status, 1);
  EXPECT_EQ(sim.Log(), "1902 652\n");
  EXPECT_EQ(sim.Run({"-d", device63 + "d"}).status, 1);
  EXPECT_EQ(sim.Log(), "1902 669\n");
  EXPECT_EQ(sim.Run({"-t", timestamp31 + "t", "-h"}).status, 1);
  EXPECT_EQ(sim.Log(), "1902 621\n");
  const auto timeline = sim.Timeline();
  EXPECT_THAT(std::vector<std::string>(timeline.end() - 6, timeline.end()),
              ElementsAre("run -d " + device63 + "d", "umount /mnt -> EINVAL",
                          "display Error updating firmware: 669", "run -t " + timestamp31 + "t -h",
                          "umount /mnt -> EINVAL", "display Error updating firmware: 621"));
}

// A stick on any port is mounted; one still mounted from a run that stopped
// (in the simulation, a record of the medium's folder) is used as it is.
TEST(Startup, PluggedStickIsMountedAndTheRunGoesOn) {
  for (const bool mounted : {false, true}) {
    Instrument sim;
    test::WriteFile(sim.medium() + "/firmware/AuxInfo.txt", "SectionList\nSequence = Nothing\n");
    ASSERT_EQ(Sim({"plug", sim.dir(), sim.medium(), "--port", mounted ? "3" : "2"}).status, 0);
    if (mounted) test::WriteFile(sim.Host("/sim/mount"), sim.medium() + "\n");
    const Outcome run = sim.Run({"-t", "2019-05-21 08:19:37"});
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, StartsWith("4271C firmware updater v0.4 ("));
    const std::string mount = "mount /dev/disk/by-label/CORVENAL /mnt vfat 8 -> ";
    EXPECT_THAT(sim.Timeline(), ElementsAreArray(ThenRestart({"run -t 2019-05-21 08:19:37", "sync",
                                                              mount + (mounted ? "EBUSY" : "0"),
                                                              "display Updating firmware..."})));
  }
}

TEST(Startup, MountFailureIsReported650) {
  Instrument sim;
  ASSERT_EQ(Sim({"plug", sim.dir(), sim.medium(), "--device", "/dev/sda1"}).status, 0);
  // The node leads to a file, not to a medium.
  fs::remove(sim.Host("/dev/sda1"));
  test::WriteFile(sim.Host("/dev/sda1"), "");
  EXPECT_EQ(sim.Run({"-d", "/dev/sda1"}).status, 1);
  EXPECT_EQ(sim.Log(), "1902 650\n");
  EXPECT_THAT(sim.Timeline(),
              ElementsAre("run -d /dev/sda1", "sync", "mount /dev/sda1 /mnt vfat 8 -> ENOTBLK",
                          "display Error updating firmware: 650"));
}

TEST(SimUse, BadUseExitsTwoWithOneLine) {
  Instrument sim;
  const std::string medium = sim.medium();
  test::TempDir other;
  const std::vector<std::vector<std::string>> cases = {
      {"frobnicate", sim.dir()},
      {"run", other.path()},
      {"plug", other.path(), medium},
      {"unplug", other / "missing"},
      {"plug", sim.dir(), other / "missing"},
      {"plug", sim.dir(), medium, "--port", "0"},
      {"plug", sim.dir(), medium, "--port", "5"},
      {"plug", sim.dir(), medium, "--port", "1x"},
      {"init", sim.dir()},
      {"run", sim.dir(), "--commands", "maybe"},
      {},
  };
  for (const auto& args : cases) {
    const Outcome outcome = Sim(args);
    const std::string shown = args.empty() ? "(none)" : args.front();
    EXPECT_EQ(outcome.status, 2) << shown;
    EXPECT_THAT(outcome.err, StartsWith("update-sim: ")) << shown;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
  }
  EXPECT_THAT(sim.Timeline(), ElementsAre());
}

// The PC tools name the release that the build was configured as.
TEST(SimUse, ToolsPrintTheirRelease) {
  const std::pair<std::string, Outcome> runs[] = {{"update-sim", Sim({"--version"})},
                                                  {"update-medium", MediumTool({"--version"})}};
  for (const auto& [tool, outcome] : runs) {
    EXPECT_EQ(outcome.status, 0) << tool;
    EXPECT_EQ(outcome.out, tool + " " UPD_RELEASE_VERSION "\n");
  }
}

TEST(SimUse, AFailedRunEndsWithWhatTheInstrumentShows) {
  Instrument sim;
  EXPECT_EQ(sim.Run({}).err,
            "update-sim: the instrument shows \"Error updating firmware: 652\""
            " (timeline: " +
                sim.dir() + "/sim/events.log)\n");
  // Only this run's messages count, and DIR is named as it was given.
  const Outcome help = Sim({"run", sim.dir() + "/.", "--", "-h"});
  EXPECT_EQ(help.status, 1);
  EXPECT_EQ(help.err, "update-sim: the instrument shows nothing (timeline: " + sim.dir() +
                          "/./sim/events.log)\n");
}

TEST(SimUse, ARunWhoseDisplayNeverAsksForTheStickEndsAfterAnHour) {
  Instrument sim;
  sim.Plug(
      "SectionList\nSequence = Clean\nClean\nOperation = RemoveFiles\n"
      "file1 = /home/Corvenal/bin/qsplash\n");
  const Outcome run = sim.Run({});
  EXPECT_EQ(run.status, 3);
  EXPECT_THAT(run.err, EndsWith("update-sim: the run was ended after 3600 simulated seconds (the "
                                "instrument would wait forever)\n"));
  const auto timeline = sim.Timeline();
  EXPECT_EQ(std::count(timeline.begin(), timeline.end(), "sleep 1"), 3600);
  EXPECT_EQ(timeline.back(), "sleep 1");
}

}  // namespace
}  // namespace upd::e2e
