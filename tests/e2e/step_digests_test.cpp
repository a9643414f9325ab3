// The digest entries of "ConfigUpdate", "FlashUpdate" and "MSP430Update":
// a file that does not match stops the run before the step changes a file or
// runs a command; either entry may stand alone.
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

constexpr const char kTemplate[] = "V2\nGain 1\nRange 2\n";
constexpr const char kSettings[] = "V1\nGain 10\n";
constexpr const char kOldBackup[] = "V0\nGain 5\n";
constexpr const char kData[] = "firmware image\n";

enum Op { kConfig, kFlash, kMsp };
enum class File { kAsSigned, kTampered, kMissing };

// Each operation's step without its digest entries.
constexpr const char* kSteps[] = {
    "Operation = ConfigUpdate\nSrcDir = /mnt/firmware\nSrcFile = Unit.cfg\n"
    "DestDir = /home/Corvenal/bin\nDestFile = Unit.cfg\n"
    "BackupDir = /home/Corvenal/bin\nBackupFile = Unit.cfg.bak\n",
    "Operation = FlashUpdate\nDevice = /dev/mtd3\nOffset = 0\nEraseCommand = e\n"
    "WriteCommand = true\nDataPath1 = /mnt/firmware/data\n",
    "Operation = MSP430Update\nCommandJTAG = true\nCommand1 = true\nCommand2 = true\n",
};

TEST(StepDigests, AFileThatDoesNotMatchStopsTheStepBeforeItActs) {
  const std::string md5 = "MD5Hash = " + test::Md5Hex(kData) + "\n";
  const std::string sha = "SHA256Hash = " + test::Sha256Hex(kData) + "\n";
  const std::string cfgMd5 = "MD5Hash = " + test::Md5Hex(kTemplate) + "\n";
  const std::string cfgSha = "SHA256Hash = " + test::Sha256Hex(kTemplate) + "\n";
  const std::string mspPath = "DataPath1 = /mnt/firmware/data\n";
  std::string upper = test::Md5Hex(kTemplate);
  for (char& digit : upper) digit = digit >= 'a' ? static_cast<char>(digit - 'a' + 'A') : digit;
  struct Case {
    const char* name;
    Op op;
    std::string digests;
    File file;
    int code;  // 0: the step acts as it would without digests
  };
  const std::vector<Case> cases = {
      {"cfg both", kConfig, cfgMd5 + cfgSha, File::kAsSigned, 0},
      {"cfg md5 alone", kConfig, cfgMd5, File::kAsSigned, 0},
      {"cfg sha alone tampered", kConfig, cfgSha, File::kTampered, 643},
      {"cfg md5 alone tampered", kConfig, cfgMd5, File::kTampered, 643},
      {"cfg upper-case md5", kConfig, "MD5Hash = " + upper + "\n", File::kAsSigned, 643},
      {"flash both", kFlash, md5 + sha, File::kAsSigned, 0},
      {"flash sha alone", kFlash, sha, File::kAsSigned, 0},
      {"flash md5 alone tampered", kFlash, md5, File::kTampered, 644},
      {"flash both tampered", kFlash, md5 + sha, File::kTampered, 644},
      {"flash missing", kFlash, sha, File::kMissing, 644},
      {"msp both", kMsp, mspPath + md5 + sha, File::kAsSigned, 0},
      {"msp md5 alone", kMsp, mspPath + md5, File::kAsSigned, 0},
      {"msp path without digests, missing", kMsp, mspPath, File::kMissing, 0},
      {"msp sha alone tampered", kMsp, mspPath + sha, File::kTampered, 645},
      {"msp missing", kMsp, mspPath + md5 + sha, File::kMissing, 645},
      {"msp digests without a path", kMsp, md5, File::kAsSigned, 645},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Instrument sim;
    const std::string file = c.op == kConfig ? "/firmware/Unit.cfg" : "/firmware/data";
    const std::string content = c.op == kConfig ? kTemplate : kData;
    if (c.file != File::kMissing) {
      // A line added after the digests were taken.
      test::WriteFile(sim.medium() + file,
                      c.file == File::kTampered ? content + "Backdoor on\n" : content);
    }
    test::WriteFile(sim.Host("/home/Corvenal/bin/Unit.cfg"), kSettings);
    test::WriteFile(sim.Host("/home/Corvenal/bin/Unit.cfg.bak"), kOldBackup);
    sim.Plug(std::string("SectionList\nSequence = S\nS\n") + kSteps[c.op] + c.digests);
    const Outcome run = sim.Run({}, {"--commands", "run"});
    EXPECT_EQ(run.status, c.code == 0 ? 0 : 1) << run.err;
    EXPECT_EQ(sim.Log(), Logged(c.code));
    const auto after = sim.AfterStartup();
    const bool merges = c.code == 0 && c.op == kConfig;
    // A refused step runs no command and leaves the settings and their backup.
    EXPECT_EQ(sim.Read("/home/Corvenal/bin/Unit.cfg"),
              merges ? "V2\nGain 10\nRange 2\n" : kSettings);
    EXPECT_EQ(sim.Read("/home/Corvenal/bin/Unit.cfg.bak"), merges ? kSettings : kOldBackup);
    if (c.code != 0) {
      EXPECT_THAT(after, ElementsAre("display Error updating firmware: " + std::to_string(c.code)));
      EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/bin/Unit.cfg.new")));
      continue;
    }
    std::vector<std::string> commands;
    std::copy_if(after.begin(), after.end(), std::back_inserter(commands),
                 [](const std::string& line) { return line.starts_with("command"); });
    if (c.op == kFlash) {
      EXPECT_THAT(commands, ElementsAre("command true /mnt/firmware/data /dev/mtd3 -> 0"));
    } else if (c.op == kMsp) {
      EXPECT_THAT(commands, ElementsAre("command true -> 0", "command true -> 0"));
    }
  }
}

}  // namespace
}  // namespace upd::e2e
