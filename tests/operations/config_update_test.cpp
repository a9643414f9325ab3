#include "operations/config_update.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "driver/error_codes.h"
#include "operation_fixture.h"
#include "platform/platform.h"
#include "support/fault_platform.h"

namespace upd {
namespace {

using test::Entries;

constexpr const char* kSrc = "/mnt/firmware/config/Settings.cfg";
constexpr const char* kDest = "/home/Corvenal/config/Settings.cfg";
constexpr const char* kBackup = "/home/Corvenal/config/Settings.cfg.bak";
constexpr const char* kOldBackup = "an earlier backup\n";

const Entries kEntries = {
    {"SrcDir", "/mnt/firmware/config"},     {"SrcFile", "Settings.cfg"},
    {"DestDir", "/home/Corvenal/config"},   {"DestFile", "Settings.cfg"},
    {"BackupDir", "/home/Corvenal/config"}, {"BackupFile", "Settings.cfg.bak"},
};

class ConfigUpdateTest : public test::OperationTest {
 protected:
  void SetUp() override {
    sim_.PlugMedium();
    ASSERT_EQ(sim_.platform().Mount("/dev/disk/by-label/CORVENAL", "/mnt", "vfat", 0), 0);
    std::filesystem::create_directories(Host("/home/Corvenal/config"));
    SetSection(kEntries);
  }

  // Template, installed file and an earlier backup.
  void Files(std::string_view templ, std::string_view installed, bool oldBackup = true) const {
    Write(kSrc, templ);
    Write(kDest, installed);
    if (oldBackup) Write(kBackup, kOldBackup);
  }

  int Run() { return ConfigUpdate(kSection, &info_); }
};

TEST_F(ConfigUpdateTest, MergeKeepsInstalledLinesWhereKeysMeetInOrder) {
  struct Case {
    const char* templ;
    const char* installed;
    const char* merged;
  };
  const Case cases[] = {
      {"V2\nGain 1\nRange 2\nZero 3\n", "V1\nGain 10\nZero 30\n",
       "V2\nGain 10\nRange 2\nZero 30\n"},
      // The installed 'Extra' holds up the walk: its 'Gain' is never reached.
      {"V2\nGain 1\nRange 2\n", "V1\nExtra 5\nGain 10\n", "V2\nGain 1\nRange 2\n"},
      // ... until the template reaches 'Extra' too.
      {"V2\nA 1\nExtra 9\nB 2\n", "V1\nExtra 5\nB 20\n", "V2\nA 1\nExtra 5\nB 20\n"},
      // Installed lines left when the template ends are dropped.
      {"V2\nA 1\n", "V1\nA 10\nB 20\n", "V2\nA 10\n"},
      // Only the version word of the template's first line is written.
      {"  V2.5 extra words\nGain 1\n", "V1\nGain 10\n", "  V2.5\nGain 10\n"},
      {"V1.9\nA 1\n", "v1.10\nA 2\n", "V1.9\nA 2\n"},
      // Keys are case-sensitive.
      {"V2\nGain 1\n", "V1\ngain 10\n", "V2\nGain 1\n"},
      // Blank and comment lines are keyed lines like any other.
      {"V2\n# new\n\nGain 1\n", "V1\n# old\n\nGain 10\n", "V2\n# old\n\nGain 10\n"},
      // Leading blanks do not count in a key but stay in the line; the line
      // reader's normal form (no CR, tabs expanded, no trailing blanks).
      {"V2\r\nGain\t1  \r\nTab\tx\r\nName(1,2)", "v1\n  Gain  7\t\nName(3)\n",
       "V2\n  Gain  7\nTab     x\nName(3)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.templ);
    Files(c.templ, c.installed);
    info_.error = kErrTimeStampOlder;
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(info_.error, 0);
    EXPECT_EQ(Read(kDest), c.merged);
    EXPECT_EQ(Read(kBackup), c.installed);
  }
}

TEST_F(ConfigUpdateTest, TemplateNotNewerRewritesNothingButDropsTheOldBackup) {
  const std::pair<const char*, const char*> cases[] = {
      {"V1\nGain 1\n", "V1\nGain 10\n"},
      {"V1.10\nGain 1\n", "V1.9\nGain 10\n"},
      {"v2\nGain 1\n", "V2.0\nGain 10\n"},
      {"V1\nGain 1\n", "V3\nGain 10\n"},
  };
  for (const auto& [templ, installed] : cases) {
    SCOPED_TRACE(templ);
    Files(templ, installed);
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(info_.error, 0);
    EXPECT_EQ(Read(kDest), installed);
    EXPECT_FALSE(Exists(kBackup));
  }
}

TEST_F(ConfigUpdateTest, InvalidVersionLineFailsAfterDroppingTheOldBackup) {
  // The letter and a non-zero, finite number must open the first word.
  const char* const invalid[] = {"V 2\n", "V0\n", "V\n", "\nGain 1\n", "",       "Version 2\n",
                                 "#V2\n", "X2\n", "2\n", "Vnan\n",     "Vinf\n", "V1e999\n"};
  for (const char* bad : invalid) {
    SCOPED_TRACE(bad);
    Files(bad, "V1\nGain 10\n");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(info_.error, kErrCfgSourceVersion);
    EXPECT_EQ(Read(kDest), "V1\nGain 10\n");
    EXPECT_FALSE(Exists(kBackup));

    Files("V9\nGain 1\n", bad);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(info_.error, kErrCfgDestVersion);
    EXPECT_EQ(Read(kDest), bad);
    EXPECT_FALSE(Exists(kBackup));
  }
}

TEST_F(ConfigUpdateTest, SectionFaultsTouchNothing) {
  const std::string tooLong(256, 'd');
  const struct {
    Entries entries;
    int code;
  } cases[] = {
      {Without(kEntries, "SrcDir"), kErrCfgNoSrcDir},
      {Without(kEntries, "SrcFile"), kErrCfgNoSrcFile},
      {Without(kEntries, "DestDir"), kErrCfgNoDestDir},
      {Without(kEntries, "DestFile"), kErrCfgNoDestFile},
      {Without(kEntries, "BackupDir"), kErrCfgNoBackupDir},
      {Without(kEntries, "BackupFile"), kErrCfgNoBackupFile},
      {Without(Without(kEntries, "BackupFile"), "SrcFile"), kErrCfgNoSrcFile},
      {With(kEntries, "SrcDir", tooLong), kErrCfgValue},
      {With(kEntries, "BackupFile", tooLong), kErrCfgValue},
      {With(Without(kEntries, "SrcDir"), "BackupFile", tooLong), kErrCfgValue},
      // A backup that is the installed file or the template would be deleted
      // as the old backup.
      {With(kEntries, "BackupFile", "Settings.cfg"), kErrCfgValue},
      {With(With(kEntries, "BackupDir", "/mnt/firmware/config"), "BackupFile", "settings.CFG"),
       kErrCfgValue},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    Files("V2\nGain 1\n", "V1\nGain 10\n");
    SetSection(c.entries);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(Read(kSrc), "V2\nGain 1\n");
    EXPECT_EQ(Read(kDest), "V1\nGain 10\n");
    EXPECT_EQ(Read(kBackup), kOldBackup);
  }
}

TEST_F(ConfigUpdateTest, ValuesOf255CharactersFit) {
  const std::string name(255, 'b');
  SetSection(With(kEntries, "BackupFile", name));
  Files("V2\nGain 1\n", "V1\nGain 10\n", false);
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(Read(std::string("/home/Corvenal/config/") + name), "V1\nGain 10\n");
}

TEST_F(ConfigUpdateTest, MissingFilesFailBeforeAnythingIsTouched) {
  Files("V2\nGain 1\n", "V1\nGain 10\n");
  std::filesystem::remove(Host(kSrc));
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(info_.error, kErrCfgSourceMissing);
  EXPECT_EQ(Read(kBackup), kOldBackup);

  Files("V2\nGain 1\n", "V1\nGain 10\n");
  std::filesystem::remove(Host(kDest));
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(info_.error, kErrCfgDestMissing);
  EXPECT_EQ(Read(kBackup), kOldBackup);
}

TEST_F(ConfigUpdateTest, BackupThatCannotBeRemovedIs628) {
  Files("V2\nGain 1\n", "V1\nGain 10\n", false);
  std::filesystem::create_directories(Host(kBackup) + "/inside");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(info_.error, kErrCfgRemoveBackup);
  EXPECT_TRUE(std::filesystem::is_directory(Host(kBackup) + "/inside"));
  EXPECT_EQ(Read(kDest), "V1\nGain 10\n");
}

TEST_F(ConfigUpdateTest, UnreadableFilesFailAfterDroppingTheOldBackup) {
  const std::string longLine = "Gain " + std::string(600, '1') + "\n";
  Files("V2\n" + longLine, "V1\nGain 10\n");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(info_.error, kErrCfgReadSource);
  EXPECT_FALSE(Exists(kBackup));

  Files("V2\nGain 1\n", "V1\n" + longLine);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(info_.error, kErrCfgReadDest);
  EXPECT_FALSE(Exists(kBackup));
  EXPECT_EQ(Read(kDest), "V1\n" + longLine);
}

TEST_F(ConfigUpdateTest, DestinationThatCannotBeMovedIs629) {
  SetSection(With(kEntries, "BackupDir", "/home/Corvenal/no-such-dir"));
  Files("V2\nGain 1\n", "V1\nGain 10\n");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(info_.error, kErrCfgMoveToBackup);
  EXPECT_EQ(Read(kDest), "V1\nGain 10\n");
}

TEST_F(ConfigUpdateTest, DestinationThatCannotBeCreatedIs625) {
  Files("V2\nGain 1\n", "V1\nGain 10\n", false);
  // Once the destination has moved to the backup path, it cannot be made anew.
  test::DivertedPlatform platform(sim_.platform(), kDest,
                                  [this] { return test::PathExists(sim_.Host(kBackup)); });
  const platform::ScopedPlatform installed(platform);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(info_.error, kErrCfgCreateDest);
  EXPECT_EQ(Read(kBackup), "V1\nGain 10\n");
  EXPECT_FALSE(test::PathExists(sim_.Host(kDest)));
}

// A file-size limit makes the writes of the new file fail part way; root is
// bound by it too.
TEST_F(ConfigUpdateTest, WriteFailureIs622) {
  std::string templ = "V2\n";
  for (int i = 0; i < 100; ++i)
    templ += "Key" + std::to_string(i) + ' ' + std::string(200, 'x') + '\n';
  Files(templ, "V1\nKey0 1\n", false);

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct sigaction quiet {};
  struct sigaction savedAction {};
  quiet.sa_handler = [](int) {};
  ASSERT_EQ(::sigaction(SIGXFSZ, &quiet, &savedAction), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = Run();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::sigaction(SIGXFSZ, &savedAction, nullptr);

  EXPECT_EQ(result, 0);
  EXPECT_EQ(info_.error, kErrCfgCloseDest);
  EXPECT_LE(Read(kDest).size(), 4096U);
  EXPECT_EQ(Read(kBackup), "V1\nKey0 1\n");
}

}  // namespace
}  // namespace upd
