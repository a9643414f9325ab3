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

enum class Op { kConfig, kFlash, kMsp };
enum class File { kAsSigned, kTampered, kMissing };

std::string Step(Op op, const std::string& digests) {
  switch (op) {
    case Op::kConfig:
      return "Operation = ConfigUpdate\nSrcDir = /mnt/firmware\nSrcFile = Unit.cfg\n"
             "DestDir = /home/Corvenal/bin\nDestFile = Unit.cfg\n"
             "BackupDir = /home/Corvenal/bin\nBackupFile = Unit.cfg.bak\n" +
             digests;
    case Op::kFlash:
      return "Operation = FlashUpdate\nDevice = /dev/mtd3\nOffset = 0\nEraseCommand = e\n"
             "WriteCommand = true\nDataPath1 = /mnt/firmware/data\n" +
             digests;
    case Op::kMsp:
      return "Operation = MSP430Update\nCommandJTAG = true\nCommand1 = true\nCommand2 = true\n" +
             digests;
  }
  return "";
}

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
      {"cfg both", Op::kConfig, cfgMd5 + cfgSha, File::kAsSigned, 0},
      {"cfg md5 alone", Op::kConfig, cfgMd5, File::kAsSigned, 0},
      {"cfg sha alone tampered", Op::kConfig, cfgSha, File::kTampered, 643},
      {"cfg md5 alone tampered", Op::kConfig, cfgMd5, File::kTampered, 643},
      {"cfg upper-case md5", Op::kConfig, "MD5Hash = " + upper + "\n", File::kAsSigned, 643},
      {"flash both", Op::kFlash, md5 + sha, File::kAsSigned, 0},
      {"flash sha alone", Op::kFlash, sha, File::kAsSigned, 0},
      {"flash md5 alone tampered", Op::kFlash, md5, File::kTampered, 644},
      {"flash both tampered", Op::kFlash, md5 + sha, File::kTampered, 644},
      {"flash missing", Op::kFlash, sha, File::kMissing, 644},
      {"msp both", Op::kMsp, mspPath + md5 + sha, File::kAsSigned, 0},
      {"msp md5 alone", Op::kMsp, mspPath + md5, File::kAsSigned, 0},
      {"msp path without digests, missing", Op::kMsp, mspPath, File::kMissing, 0},
      {"msp sha alone tampered", Op::kMsp, mspPath + sha, File::kTampered, 645},
      {"msp missing", Op::kMsp, mspPath + md5 + sha, File::kMissing, 645},
      {"msp digests without a path", Op::kMsp, md5, File::kAsSigned, 645},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Instrument sim;
    const std::string medium = sim.Medium();
    test::WriteFile(medium + "/firmware/AuxInfo.txt",
                    "SectionList\nSequence = S\nS\n" + Step(c.op, c.digests));
    const std::string file = c.op == Op::kConfig ? "/firmware/Unit.cfg" : "/firmware/data";
    const std::string content = c.op == Op::kConfig ? kTemplate : kData;
    if (c.file != File::kMissing) {
      // A line added after the digests were taken.
      test::WriteFile(medium + file,
                      c.file == File::kTampered ? content + "Backdoor on\n" : content);
    }
    test::WriteFile(sim.Host("/home/Corvenal/bin/Unit.cfg"), kSettings);
    test::WriteFile(sim.Host("/home/Corvenal/bin/Unit.cfg.bak"), kOldBackup);
    ASSERT_EQ(Sim({"plug", sim.dir(), medium}).status, 0);

    const Outcome run = Sim({"run", sim.dir(), "--commands", "run"});
    const auto timeline = sim.Timeline();
    const auto start = std::find(timeline.begin(), timeline.end(), "display Updating firmware...");
    ASSERT_NE(start, timeline.end());
    const std::vector<std::string> after(start + 1, timeline.end());
    const std::string settings = test::ReadFile(sim.Host("/home/Corvenal/bin/Unit.cfg"));
    const std::string backup = test::ReadFile(sim.Host("/home/Corvenal/bin/Unit.cfg.bak"));
    if (c.code != 0) {
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(test::ReadFile(sim.Host("/home/Corvenal/log/UpdateErrorLog.txt")),
                "1902 " + std::to_string(c.code) + "\n");
      // No command ran, and the settings, their backup and the medium stayed.
      EXPECT_THAT(after, ElementsAre("display Error updating firmware: " + std::to_string(c.code)));
      EXPECT_EQ(settings, kSettings);
      EXPECT_EQ(backup, kOldBackup);
      EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/bin/Unit.cfg.new")));
      continue;
    }
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(fs::exists(sim.Host("/home/Corvenal/log/UpdateErrorLog.txt")));
    std::vector<std::string> commands;
    std::copy_if(after.begin(), after.end(), std::back_inserter(commands),
                 [](const std::string& line) { return line.starts_with("command"); });
    if (c.op == Op::kConfig) {
      EXPECT_EQ(settings, "V2\nGain 10\nRange 2\n");
      EXPECT_EQ(backup, kSettings);
    } else if (c.op == Op::kFlash) {
      EXPECT_THAT(commands, ElementsAre("command true /mnt/firmware/data /dev/mtd3 -> 0"));
    } else {
      EXPECT_THAT(commands, ElementsAre("command true -> 0", "command true -> 0"));
    }
  }
}

}  // namespace
}  // namespace upd::e2e
