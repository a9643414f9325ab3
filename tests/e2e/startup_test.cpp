// The updater's start-up driven through update-sim, as a technician's run would go.
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

std::string LogOf(const Instrument& sim) {
  return test::ReadFile(sim.Host("/home/Corvenal/log/UpdateErrorLog.txt"));
}

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

TEST(Startup, MissingStickIsReported652) {
  Instrument sim;
  const Outcome run = sim.Run({});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(LogOf(sim), "1902 652\n");
  EXPECT_THAT(sim.Timeline(), ElementsAre("run", "sync", "display Error updating firmware: 652"));

  // A presence entry without the device node is no medium either.
  ASSERT_EQ(Sim({"plug", sim.dir(), sim.Medium(), "--device", "/dev/sdb1"}).status, 0);
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
  EXPECT_EQ(LogOf(sim), "1902 652\n");

  EXPECT_EQ(sim.Run({"-d", device63 + "d"}).status, 1);
  EXPECT_EQ(LogOf(sim), "1902 669\n");
  EXPECT_EQ(sim.Run({"-t", timestamp31 + "t", "-h"}).status, 1);
  EXPECT_EQ(LogOf(sim), "1902 621\n");

  const auto timeline = sim.Timeline();
  const std::vector<std::string> tail(timeline.end() - 6, timeline.end());
  EXPECT_THAT(tail,
              ElementsAre("run -d " + device63 + "d", "umount /mnt -> EINVAL",
                          "display Error updating firmware: 669", "run -t " + timestamp31 + "t -h",
                          "umount /mnt -> EINVAL", "display Error updating firmware: 621"));
}

// A manifest whose one step has nothing to do.
const std::string kIdleManifest = "SectionList\nSequence = Nothing\n";

std::vector<std::string> Concat(std::vector<std::string> head,
                                const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(Startup, PluggedStickIsMountedAndTheRunGoesOn) {
  Instrument sim;
  const std::string medium = sim.Medium();
  test::WriteFile(medium + "/firmware/AuxInfo.txt", kIdleManifest);
  ASSERT_EQ(Sim({"plug", sim.dir(), medium, "--port", "3"}).status, 0);
  const Outcome run = sim.Run({"-t", "2019-05-21 08:19:37"});
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.out, StartsWith("4271C firmware updater v0.4 ("));
  EXPECT_THAT(sim.Timeline(),
              ElementsAreArray(Concat({"run -t 2019-05-21 08:19:37", "sync",
                                       "mount /dev/disk/by-label/CORVENAL /mnt vfat 8 -> 0",
                                       "display Updating firmware..."},
                                      kRestartEnding)));
}

TEST(Startup, MediumStillMountedFromAnEarlierRunIsUsed) {
  Instrument sim;
  const std::string medium = sim.Medium();
  test::WriteFile(medium + "/firmware/AuxInfo.txt", kIdleManifest);
  ASSERT_EQ(Sim({"plug", sim.dir(), medium}).status, 0);
  // An earlier run that stopped without unmounting left the medium mounted:
  // in the simulation, the mount is a record of the medium's folder.
  test::WriteFile(sim.Host("/sim/mount"), medium + "\n");

  EXPECT_EQ(sim.Run({}).status, 0);
  EXPECT_THAT(sim.Timeline(),
              ElementsAreArray(
                  Concat({"run", "sync", "mount /dev/disk/by-label/CORVENAL /mnt vfat 8 -> EBUSY",
                          "display Updating firmware..."},
                         kRestartEnding)));
}

TEST(Startup, MountFailureIsReported650) {
  Instrument sim;
  ASSERT_EQ(Sim({"plug", sim.dir(), sim.Medium(), "--device", "/dev/sda1"}).status, 0);
  // The node leads to a file, not to a medium.
  fs::remove(sim.Host("/dev/sda1"));
  test::WriteFile(sim.Host("/dev/sda1"), "");
  EXPECT_EQ(sim.Run({"-d", "/dev/sda1"}).status, 1);
  EXPECT_EQ(LogOf(sim), "1902 650\n");
  EXPECT_THAT(sim.Timeline(),
              ElementsAre("run -d /dev/sda1", "sync", "mount /dev/sda1 /mnt vfat 8 -> ENOTBLK",
                          "display Error updating firmware: 650"));
}

TEST(SimUse, BadUseExitsTwoWithOneLine) {
  Instrument sim;
  const std::string medium = sim.Medium();
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
  const std::string timeline = " (timeline: " + sim.dir() + "/sim/events.log)\n";
  EXPECT_EQ(sim.Run({}).err,
            "update-sim: the instrument shows \"Error updating firmware: 652\"" + timeline);
  // Only this run's messages count, and DIR is named as it was given.
  const Outcome help = Sim({"run", sim.dir() + "/.", "--", "-h"});
  EXPECT_EQ(help.status, 1);
  EXPECT_EQ(help.err, "update-sim: the instrument shows nothing (timeline: " + sim.dir() +
                          "/./sim/events.log)\n");
}

TEST(SimUse, ARunWhoseDisplayNeverAsksForTheStickEndsAfterAnHour) {
  Instrument sim;
  const std::string medium = sim.Medium();
  test::WriteFile(medium + "/firmware/AuxInfo.txt",
                  "SectionList\nSequence = Clean\nClean\nOperation = RemoveFiles\n"
                  "file1 = /home/Corvenal/bin/qsplash\n");
  ASSERT_EQ(Sim({"plug", sim.dir(), medium}).status, 0);
  const Outcome run = sim.Run({});
  EXPECT_EQ(run.status, 3);
  EXPECT_THAT(run.err, EndsWith("update-sim: the run was ended after 3600 simulated seconds (the "
                                "instrument would wait forever)\n"));
  const auto timeline = sim.Timeline();
  EXPECT_EQ(std::count(timeline.begin(), timeline.end(), "sleep 1"), 3600);
  EXPECT_EQ(timeline.back(), "sleep 1");
}

TEST(SimUse, UnplugPullsTheStick) {
  Instrument sim;
  ASSERT_EQ(Sim({"plug", sim.dir(), sim.Medium(), "--port", "2", "--device", "/dev/sdc"}).status,
            0);
  EXPECT_TRUE(fs::exists(sim.Host("/sys/bus/usb/drivers/usb-storage/2-1.4.2:1.0")));
  EXPECT_EQ(Sim({"unplug", sim.dir()}).status, 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(sim.Host("/dev/sdc"))));
  EXPECT_FALSE(fs::exists(sim.Host("/sys/bus/usb/drivers/usb-storage/2-1.4.2:1.0")));
  EXPECT_THAT(sim.Timeline(), ElementsAre("unplug /dev/sdc"));
}

}  // namespace
}  // namespace upd::e2e
