#include "operations/config_update.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "driver/error_codes.h"
#include "operation_fixture.h"
#include "platform/platform.h"
#include "support/fault_platform.h"

namespace upd {
namespace {

using test::Entries;
using test::Expect;

constexpr const char* kSrc = "/mnt/firmware/config/Settings.cfg";
constexpr const char* kDest = "/home/Corvenal/config/Settings.cfg";
constexpr const char* kBackup = "/home/Corvenal/config/Settings.cfg.bak";
constexpr const char* kOldBackup = "an earlier backup\n";
constexpr const char* kTempl = "V2\nGain 1\n";
constexpr const char* kInstalled = "V1\nGain 10\n";

const Entries kEntries = {
    {"SrcDir", "/mnt/firmware/config"},     {"SrcFile", "Settings.cfg"},
    {"DestDir", "/home/Corvenal/config"},   {"DestFile", "Settings.cfg"},
    {"BackupDir", "/home/Corvenal/config"}, {"BackupFile", "Settings.cfg.bak"}};

class ConfigUpdateTest : public test::OperationTest {
 protected:
  void SetUp() override {
    sim_.PlugMedium();
    ASSERT_EQ(sim_.platform().Mount("/dev/disk/by-label/CORVENAL", "/mnt", "vfat", 0), 0);
    std::filesystem::create_directories(Host("/home/Corvenal/config"));
    SetSection(kEntries);
  }
  // Template, installed file and (unless empty) an earlier backup.
  void Files(std::string_view templ, std::string_view installed,
             std::string_view oldBackup = kOldBackup) const {
    Write(kSrc, templ);
    Write(kDest, installed);
    std::filesystem::remove_all(Host(kBackup));
    if (!oldBackup.empty()) Write(kBackup, oldBackup);
  }
  int Run() { return ConfigUpdate(kSection, &info_); }
  [[nodiscard]] std::string State() const { return OperationTest::State({kDest, kBackup}); }
};

// merged nullptr: the template is not newer, nothing rewritten, the old backup dropped.
TEST_F(ConfigUpdateTest, MergeKeepsInstalledLinesWhereKeysMeetInOrder) {
  const struct {
    const char *templ, *installed, *merged;
  } cases[] = {{"V2\nGain 1\nRange 2\nZero 3\n", "V1\nGain 10\nZero 30\n",
                "V2\nGain 10\nRange 2\nZero 30\n"},
               // The installed 'Extra' holds up the walk until the template reaches it.
               {"V2\nGain 1\nRange 2\n", "V1\nExtra 5\nGain 10\n", "V2\nGain 1\nRange 2\n"},
               {"V2\nA 1\nExtra 9\nB 2\n", "V1\nExtra 5\nB 20\n", "V2\nA 1\nExtra 5\nB 20\n"},
               {"V2\nA 1\n", "V1\nA 10\nB 20\n", "V2\nA 10\n"},
               // Only the version word of the template's first line is written.
               {"  V2.5 extra words\nGain 1\n", "V1\nGain 10\n", "  V2.5\nGain 10\n"},
               {"V1.9\nA 1\n", "v1.10\nA 2\n", "V1.9\nA 2\n"},
               {"V2\nGain 1\n", "V1\ngain 10\n", "V2\nGain 1\n"},  // keys are case-sensitive
               {"V2\n# new\n\nGain 1\n", "V1\n# old\n\nGain 10\n", "V2\n# old\n\nGain 10\n"},
               // The line reader's normal form: no CR, tabs expanded, no trailing blanks.
               {"V2\r\nGain\t1  \r\nTab\tx\r\nName(1,2)", "v1\n  Gain  7\t\nName(3)\n",
                "V2\n  Gain  7\nTab     x\nName(3)\n"},
               {"V1\nGain 1\n", kInstalled, nullptr},
               {"V1.10\nGain 1\n", "V1.9\nGain 10\n", nullptr},
               {"v2\nGain 1\n", "V2.0\nGain 10\n", nullptr},
               {"V1\nGain 1\n", "V3\nGain 10\n", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.templ);
    Files(c.templ, c.installed);
    info_.error = kErrTimeStampOlder;
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(info_.error, 0);
    EXPECT_EQ(State(), c.merged ? Expect({c.merged, c.installed}) : Expect({c.installed, nullptr}));
  }
}

TEST_F(ConfigUpdateTest, InvalidVersionLineFailsAfterDroppingTheOldBackup) {
  // The letter and a non-zero, finite number must open the first word.
  for (const char* bad :
       {"V 2\n", "V0\n", "V\n", "\nGain 1\n", "", "#V2\n", "2\n", "Vnan\n", "Vinf\n", "V1e999\n"}) {
    SCOPED_TRACE(bad);
    Files(bad, kInstalled);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(info_.error, kErrCfgSourceVersion);
    EXPECT_EQ(State(), Expect({kInstalled, nullptr}));

    Files("V9\nGain 1\n", bad);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(info_.error, kErrCfgDestVersion);
    EXPECT_EQ(State(), Expect({bad, nullptr}));
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
      {With(Without(kEntries, "SrcDir"), "BackupFile", tooLong), kErrCfgValue},
      // A backup that is the installed file or the template would be deleted as the old backup.
      {With(kEntries, "BackupFile", "Settings.cfg"), kErrCfgValue},
      {With(With(kEntries, "BackupDir", "/mnt/firmware/config"), "BackupFile", "settings.CFG"),
       kErrCfgValue}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    Files(kTempl, kInstalled);
    SetSection(c.entries);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(Read(kSrc), kTempl);
    EXPECT_EQ(State(), Expect({kInstalled, kOldBackup}));
  }
  // 255 characters fit.
  const std::string name(255, 'b');
  SetSection(With(kEntries, "BackupFile", name));
  Files(kTempl, kInstalled, "");
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(Read("/home/Corvenal/config/" + name), kInstalled);
}

TEST_F(ConfigUpdateTest, FileFailuresLeaveTheFilesAsDocumented) {
  const std::string longLine = "Gain " + std::string(600, '1') + "\n";
  const struct {
    std::string templ, installed, oldBackup;
    std::function<void()> prepare;
    int code;
    std::string state;
  } cases[] = {{kTempl, kInstalled, kOldBackup, [this] { std::filesystem::remove(Host(kSrc)); },
                kErrCfgSourceMissing, Expect({kInstalled, kOldBackup})},
               {kTempl, kInstalled, kOldBackup, [this] { std::filesystem::remove(Host(kDest)); },
                kErrCfgDestMissing, Expect({nullptr, kOldBackup})},
               {kTempl, kInstalled, "", [this] { Write(std::string(kBackup) + "/inside", "x"); },
                kErrFolder, Expect({kInstalled, "dir"})},
               {"V2\n" + longLine, kInstalled, kOldBackup, [] {}, kErrCfgReadSource,
                Expect({kInstalled, nullptr})},
               {kTempl, "V1\n" + longLine, kOldBackup, [] {}, kErrCfgReadDest,
                Expect({("V1\n" + longLine).c_str(), nullptr})},
               {kTempl, kInstalled, kOldBackup,
                [this] { SetSection(With(kEntries, "BackupDir", "/home/Corvenal/no-such-dir")); },
                kErrCfgMoveToBackup, Expect({kInstalled, kOldBackup})}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    SetSection(kEntries);
    Files(c.templ, c.installed, c.oldBackup);
    c.prepare();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(State(), c.state);
  }
  SetSection(kEntries);
  Files(kTempl, kInstalled);
  test::RefusingPlatform noRemoval(sim_.platform(), platform::FileCall::kRemove, EPERM);
  {
    const platform::ScopedPlatform installed(noRemoval);
    EXPECT_EQ(Run(), 0);
  }
  EXPECT_EQ(info_.error, kErrCfgRemoveBackup);
  EXPECT_EQ(State(), Expect({kInstalled, kOldBackup}));
}

TEST_F(ConfigUpdateTest, DestinationThatCannotBeCreatedIs625) {
  Files(kTempl, kInstalled, "");
  // Once the destination has moved to the backup path, it cannot be made anew.
  test::DivertedPlatform platform(sim_.platform(), kDest,
                                  [this] { return test::PathExists(sim_.Host(kBackup)); });
  const platform::ScopedPlatform installed(platform);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(info_.error, kErrCfgCreateDest);
  EXPECT_EQ(State(), Expect({nullptr, kInstalled}));
}

// A file-size limit makes the writes of the new file fail part way; root is bound by it too.
TEST_F(ConfigUpdateTest, WriteFailureIs622) {
  std::string templ = "V2\n";
  for (int i = 0; i < 100; ++i)
    templ += "Key" + std::to_string(i) + ' ' + std::string(200, 'x') + '\n';
  Files(templ, "V1\nKey0 1\n", "");
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
