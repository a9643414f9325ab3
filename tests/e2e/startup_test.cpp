// The updater's start-up through update-sim; the tools' own use; the code
// reference and the documents made from it.
#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/instrument_paths.h"
#include "medium/code_reference.h"
#include "sim/sim_paths.h"
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

// update-sim's last line on a failed run: what this run showed, DIR as given.
std::string Shows(const std::string& dir, const std::string& shown) {
  std::string line = "update-sim: the instrument shows ";
  return line += shown + " (timeline: " + dir + "/sim/events.log)\n";
}

// Over-long option values try an unmount and stop; help leaves the log alone.
TEST(Startup, OverLongValuesAndHelpStopBeforeTheMedium) {
  Instrument sim;
  const std::string device64 = "/dev/" + std::string(59, 'd');
  const std::string timestamp32(32, 't');
  const Outcome device = sim.Run({"-d", device64});
  EXPECT_EQ(device.status, 1);
  EXPECT_EQ(device.err, Shows(sim.dir(), "\"Error updating firmware: 669\""));
  EXPECT_TRUE(fs::is_directory(sim.Host("/home/Corvenal/download")));
  EXPECT_EQ(sim.Run({"-t", timestamp32, "-h"}).status, 1);
  EXPECT_EQ(sim.Log(), "1902 621\n");
  EXPECT_THAT(sim.Timeline(),
              ElementsAre("run -d " + device64, "umount /mnt -> EINVAL", Shown(669),
                          "run -t " + timestamp32 + " -h", "umount /mnt -> EINVAL", Shown(621)));

  // Only this run's display counts.
  const Outcome help = Sim({"run", sim.dir() + "/.", "--", "-f", "-h"});
  EXPECT_EQ(help.status, 1);
  EXPECT_EQ(help.err, Shows(sim.dir() + "/.", "nothing"));
  ASSERT_GT(help.out.size(), sizeof kUsage - 1);
  const std::string banner = help.out.substr(0, help.out.size() - (sizeof kUsage - 1));
  EXPECT_TRUE(std::regex_match(banner, kBanner)) << banner;
  EXPECT_EQ(help.out.substr(banner.size()), kUsage);
  EXPECT_EQ(sim.Log(), "1902 621\n");
  EXPECT_EQ(sim.Timeline().back(), "run -f -h");
}

// No stick, an entry without its device node, a node that is a file; -mm speaks on stderr.
TEST(Startup, MissingOrUnmountableStickIsReported) {
  Instrument sim;
  const std::string shows652 = Shows(sim.dir(), "\"Error updating firmware: 652\"");
  const Outcome run = sim.Run({"-mm", "-m"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "calling dpr_config to enable MESG\n" + shows652);
  EXPECT_EQ(sim.Log(), "1902 652\n");
  ASSERT_EQ(Sim({"plug", sim.dir(), sim.medium(), "--device", "/dev/sda1"}).status, 0);
  EXPECT_EQ(sim.Run({"-m"}).err, shows652);
  fs::remove(sim.Host("/dev/sda1"));
  test::WriteFile(sim.Host("/dev/sda1"), "");
  EXPECT_EQ(sim.Run({"-d", "/dev/sda1"}).status, 1);
  EXPECT_EQ(sim.Log(), "1902 650\n");
  EXPECT_THAT(sim.Timeline(), ElementsAre("run -mm -m", "sync", Shown(652), "run -m", "sync",
                                          Shown(652), "run -d /dev/sda1", "sync",
                                          "mount /dev/sda1 /mnt vfat 8 -> ENOTBLK", Shown(650)));

  fs::remove_all(sim.Host("/home/Corvenal/log"));
  EXPECT_EQ(sim.Run({}).status, 1);
  EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/log")));
  EXPECT_EQ(sim.Timeline().back(), Shown(652));
  // A device node left behind on a port that holds no stick is no stick.
  ASSERT_EQ(Sim({"plug", sim.dir(), sim.medium()}).status, 0);
  fs::remove(sim.Host(kUsbPresencePaths[0]));
  EXPECT_EQ(sim.Run({}).status, 1);
  EXPECT_EQ(sim.Timeline().back(), Shown(652));
}

// A stick on the third port, still mounted from a run that stopped, is used as it is.
TEST(Startup, StickStillMountedIsUsedAsItIs) {
  Instrument sim;
  test::WriteFile(sim.medium() + "/firmware/AuxInfo.txt", "SectionList\nSequence = Nothing\n");
  ASSERT_EQ(Sim({"plug", sim.dir(), sim.medium(), "--port", "3"}).status, 0);
  test::WriteFile(sim.Host("/sim/mount"), sim.medium() + "\n");
  const Outcome run = sim.Run({"-t", "2019-05-21 08:19:37"});
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.out, StartsWith("4271C firmware updater v0.4 ("));
  EXPECT_THAT(
      sim.Timeline(),
      ElementsAreArray(ThenRestart({"run -t 2019-05-21 08:19:37", "sync",
                                    "mount /dev/disk/by-label/CORVENAL /mnt vfat 8 -> EBUSY",
                                    "display Updating firmware..."})));
}

// Bad use of either tool: status 2, one line on stderr naming what was wrong.
TEST(SimUse, BadUseOfEitherToolExitsTwoWithOneLine) {
  Instrument sim;
  const std::string medium = sim.medium();
  const std::string firmware = kSample + "/firmware";
  test::TempDir other;
  test::WriteFile(sim.Host("/sim/faults"), "rename /home/Corvenal/bin/corvenal NOSUCHERROR\n");
  const struct {
    Outcome (*tool)(const std::vector<std::string>&);
    std::vector<std::string> args;
    std::string named;
  } cases[] = {
      {Sim, {"frobnicate", sim.dir()}, "'frobnicate'"},
      {Sim, {"run", other.path()}, other.path() + " is not a simulated instrument"},
      {Sim, {"plug", other.path(), medium}, other.path()},
      {Sim, {"unplug", other / "missing"}, other / "missing"},
      {Sim, {"plug", sim.dir(), other / "missing"}, other / "missing"},
      {Sim, {"plug", sim.dir(), medium, "--port", "0"}, "port '0'"},
      {Sim, {"plug", sim.dir(), medium, "--port", "5"}, "port '5'"},
      {Sim, {"plug", sim.dir(), medium, "--port", "1x"}, "port '1x'"},
      {Sim, {"plug", sim.dir(), medium, "--device", "/"}, "'/' cannot be a device node"},
      {Sim, {"init", sim.dir()}, sim.dir()},
      {Sim, {"run", sim.dir(), "--commands", "maybe"}, "not maybe"},
      {Sim, {"run", sim.dir()}, "sim/faults line 1: 'NOSUCHERROR' is no errno name"},
      {Sim, {}, "no subcommand"},
      {MediumTool, {}, "no command"},
      {MediumTool, {"verify", kSample}, "verify"},
      {MediumTool, {"check"}, "check needs MEDIUM"},
      {MediumTool, {"check", kSample, "--key"}, "--key"},
      {MediumTool, {"check", kSample, "--key", other / "absent.pem"}, other / "absent.pem"},
      {MediumTool, {"check", kSample, "--timestamp", "2026-06-15T09:30:00"}, "2026-06-15T09:30:00"},
      {MediumTool, {"check", kSample, "--fast"}, "--fast"},
      {MediumTool, {"check", other / "nothing"}, other / "nothing"},
      {MediumTool, {"check", firmware}, firmware + "/firmware/AuxInfo.txt"},
      {MediumTool, {"digests", firmware}, firmware + "/firmware/AuxInfo.txt"},
      {MediumTool, {"digests", kSample, kSample}, "digests takes one argument"},
      {MediumTool, {"explain", "999"}, "explain: the updater has no code 999"},
      {MediumTool, {"explain", "65x"}, "explain: '65x' is not a code"},
      {MediumTool, {"explain", "654", "655"}, "explain takes one CODE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    const Outcome outcome = c.tool(c.args);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_THAT(outcome.err, StartsWith(c.tool == Sim ? "update-sim: " : "update-medium: "));
    EXPECT_THAT(outcome.err, HasSubstr(c.named));
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
  EXPECT_THAT(sim.Timeline(), ElementsAre());
  // A key file that is there but holds no key is a finding, not bad use.
  const Outcome noKey = MediumTool({"check", kSample, "--key", firmware + "/AuxInfo.txt"});
  EXPECT_EQ(noKey.status, 1);
  EXPECT_THAT(noKey.out, HasSubstr("error 668: signature check: " + firmware +
                                   "/AuxInfo.txt holds no RSA public key"));

  // The PC tools name the release that the build was configured as.
  for (const auto& [tool, outcome] : {std::pair{"update-sim ", Sim({"--version"})},
                                      std::pair{"update-medium ", MediumTool({"--version"})}}) {
    EXPECT_EQ(outcome.status, 0) << tool;
    EXPECT_EQ(outcome.out, tool + std::string(UPD_RELEASE_VERSION "\n"));
  }
}

TEST(SimUse, ARunWhoseDisplayNeverAsksForTheStickEndsAfterAnHour) {
  Instrument sim;
  sim.Plug(OneStep("Operation = RemoveFiles\nfile1 = /home/Corvenal/bin/qsplash\n"));
  const Outcome run = sim.Run({});
  EXPECT_EQ(run.status, 3);
  EXPECT_THAT(run.err, EndsWith("update-sim: the run was ended after 3600 simulated seconds (the "
                                "instrument would wait forever)\n"));
  const auto timeline = sim.Timeline();
  EXPECT_EQ(std::count(timeline.begin(), timeline.end(), "sleep 1"), 3600);
  EXPECT_EQ(timeline.back(), "sleep 1");
}

// --screens draws every displayed message as a PNG, the timeline as without.
TEST(SimUse, ScreensDrawEveryMessageOnTheSplashImage) {
  if (Shell("convert -version").status != 0) {
    GTEST_SKIP() << "ImageMagick's convert is not installed (apt-get install imagemagick)";
  }
  Instrument sim;
  const std::string red = sim.Host("/home/Corvenal/bin/CorvenalSplash.png");
  ASSERT_EQ(Shell("convert -size 100x50 xc:red " + sim::ShellQuote(red)).status, 0);
  sim.Plug(OneStep(Transfer("app", "app", "")));  // no source: start, error, nothing after
  test::WriteFile(sim.Host("/sim/screens/009.png"), "an earlier run's");
  EXPECT_EQ(sim.Run({"-t", "2026-06-15 09:30:00"}, {"--screens"}).status, 1);
  EXPECT_THAT(sim.Timeline(), ElementsAre("run -t 2026-06-15 09:30:00", "sync",
                                          "mount /dev/disk/by-label/CORVENAL /mnt vfat 8 -> 0",
                                          "display Updating firmware...", Shown(651)));
  const std::string screens = sim.dir() + "/sim/screens/";
  EXPECT_EQ(Shell("cd " + sim::ShellQuote(screens) + " && identify -format '%f %m %w %h\n' *").out,
            "001.png PNG 480 272\n002.png PNG 480 272\n");
  EXPECT_FALSE(fs::exists(screens + "009.png"));
  // The corner shows the splash image, scaled to the screen.
  const Outcome corner =
      Shell("convert " + sim::ShellQuote(screens + "002.png") +
            " -format '%[fx:int(255*p{2,2}.r)] %[fx:int(255*p{477,269}.g)]' info:");
  EXPECT_EQ(corner.out, "255 0");
}

// The lines strictly between those holding "<marker>:begin" and "<marker>:end".
std::string Generated(const std::string& text, const std::string& marker) {
  const std::size_t begin = text.find(marker + ":begin");
  const std::size_t end = text.find(marker + ":end");
  if (begin == std::string::npos || end == std::string::npos || end < begin) return "(no markers)";
  const std::size_t from = text.find('\n', begin) + 1;
  return text.substr(from, text.rfind('\n', end) + 1 - from);
}

TEST(CodeReference, HasOneEntryPerConstant) {
  const std::string header = test::ReadFile(UPD_SOURCE_DIR "/src/common/error_codes.h");
  const std::regex constant(R"(inline constexpr int (kErr\w+) = (\d+);)");
  std::map<std::string, int> constants;
  for (std::sregex_iterator it(header.begin(), header.end(), constant), last; it != last; ++it)
    constants[(*it)[1]] = std::stoi((*it)[2]);
  ASSERT_GE(constants.size(), 60U) << "error_codes.h was not read";
  for (const auto& [name, code] : constants) {
    const medium::CodeEntry* entry = medium::FindCode(code);
    ASSERT_NE(entry, nullptr) << name << " = " << code << " has no entry";
    EXPECT_EQ(entry->constant, name) << code;
    EXPECT_FALSE(entry->happened.empty() || entry->left.empty() || entry->next.empty()) << code;
  }
  EXPECT_EQ(medium::CodeReference().size(), constants.size()) << "an entry is no constant";
}

// The documents hold what explain prints; explain alone lists every code.
TEST(CodeReference, GeneratedDocumentsMatchTheTable) {
  const struct {
    const char* file;
    const char* marker;
    std::vector<std::string> args;
    const char* fence;  // around the output in the document
  } rows[] = {
      {"README.md", "explain-654", {"explain", "654"}, "```\n"},
      {"README.md", "codes", {"explain", "--markdown"}, ""},
      {"man/update.8", "codes", {"explain", "--roff"}, ""},
  };
  for (const auto& row : rows) {
    const Outcome generated = MediumTool(row.args);
    ASSERT_EQ(generated.status, 0) << generated.err;
    const std::string document = test::ReadFile(std::string(UPD_SOURCE_DIR "/") + row.file);
    EXPECT_EQ(Generated(document, row.marker), row.fence + generated.out + row.fence)
        << row.file << " (" << row.marker
        << ") no longer matches the code table: run scripts/gen_docs.sh";
  }
  const Outcome list = MediumTool({"explain"});
  EXPECT_EQ(list.status, 0);
  EXPECT_THAT(list.out, HasSubstr("\n670  kErrSha256Mismatch  (TransferFile and BackupFiles)\n"));
}

// man(1) renders with groff (scripts/install-deps.sh installs groff-base and man-db).
TEST(ManPages, RenderWithoutWarnings) {
  if (Shell("command -v groff").status != 0) GTEST_SKIP() << "groff is not installed";
  const bool haveMan = Shell("command -v man").status == 0;
  for (const char* page : {"man/update.8", "man/update-sim.1", "man/update-medium.1"}) {
    const std::string path = std::string(UPD_SOURCE_DIR "/") + page;
    const Outcome groff = Shell("groff -man -ww -z -Tutf8 '" + path + "'");
    EXPECT_EQ(groff.status, 0) << page;
    EXPECT_EQ(groff.out + groff.err, "") << page;
    if (!haveMan) continue;
    const Outcome man = Shell("man --warnings -l '" + path + "'");
    EXPECT_EQ(man.status, 0) << page;
    EXPECT_EQ(man.err, "") << page;
  }
}

}  // namespace
}  // namespace upd::e2e
