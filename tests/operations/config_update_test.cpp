#include "operations/config_update.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error_codes.h"
#include "operation_fixture.h"
#include "platform/platform.h"
#include "support/digests.h"
#include "support/fault_platform.h"

namespace upd {
namespace {

namespace fs = std::filesystem;
using test::Entries;
using test::Expect;
using test::With;
using test::Without;

constexpr const char* kSrc = "/mnt/firmware/config/Settings.cfg";
constexpr const char* kDest = "/home/Corvenal/config/Settings.cfg";
constexpr const char* kBackup = "/home/Corvenal/config/Settings.cfg.bak";
constexpr const char* kTemp = "/home/Corvenal/config/Settings.cfg.new";
constexpr const char* kOldBackup = "an earlier backup\n";
constexpr const char* kTempl = "V2\nGain 1\n";
constexpr const char* kInstalled = "V1\nGain 10\n";
constexpr const char* kMerged = "V2\nGain 10\n";

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
  [[nodiscard]] std::string State() const { return OperationTest::State({kDest, kBackup, kTemp}); }
};

// Every outcome on a template and an installed file, the earlier backup being
// kOldBackup: the code, the template untouched, and the installed file, the
// backup and the merged file's temporary ("" for the state: all as they were).
// The merge itself is pinned line by line by the config_merge fuzz target and
// the faults of single calls end to end; here the version lines that decide
// whether it happens, the section's values and the files in the way.
TEST_F(ConfigUpdateTest, OutcomesLeaveTheFilesAsDocumented) {
  const std::string longLine = "Gain " + std::string(600, '1') + "\n";
  const std::string badInstalled = "V1\n" + longLine;
  const auto folderAt = [this](const char* path) {
    return [=, this] {
      fs::remove(Host(path));
      Write(std::string(path) + "/x", "x");
    };
  };
  struct Case {
    std::string templ, installed;
    int code;
    std::string state = "";
    Entries entries = kEntries;
    std::function<void()> prepare = [] {};
  };
  std::vector<Case> cases = {
      {"V2\nGain 1\nRange 2\nZero 3\n", "V1\nGain 10\nZero 30\n", 0,
       Expect({"V2\nGain 10\nRange 2\nZero 30\n", "V1\nGain 10\nZero 30\n", nullptr})},
      // Only the version word of the template's first line is written.
      {"  V2.5 extra words\nGain 1\n", kInstalled, 0,
       Expect({"  V2.5\nGain 10\n", kInstalled, nullptr})},
      {"V1.9\nA 1\n", "v1.10\nA 2\n", 0, Expect({"V1.9\nA 2\n", "v1.10\nA 2\n", nullptr})},
      // A template that is not newer rewrites nothing and keeps the old backup.
      {"V1\nGain 1\n", kInstalled, 0},
      {"V1.10\nGain 1\n", "V1.9\nGain 10\n", 0},
      {"v2\nGain 1\n", "V2.0\nGain 10\n", 0},
      {"V1\nGain 1\n", "V3\nGain 10\n", 0},
      {"V9\nGain 1\n", "V0\n", kErrCfgDestVersion},
      // Each missing key's own code is pinned end to end; here the order
      // between them and a backup that names the installed file or the template.
      {kTempl, kInstalled, kErrCfgNoSrcFile, "",
       Without(Without(kEntries, "BackupFile"), "SrcFile")},
      {kTempl, kInstalled, kErrCfgValue, "", With(kEntries, "BackupFile", "Settings.cfg")},
      {kTempl, kInstalled, kErrCfgValue, "",
       With(With(kEntries, "BackupDir", "/mnt/firmware/config"), "BackupFile", "settings.CFG")},
      {kTempl, kInstalled, kErrCfgDestMissing, Expect({nullptr, kOldBackup, nullptr}), kEntries,
       [this] { fs::remove(Host(kDest)); }},
      {kTempl, kInstalled, kErrFolder, Expect({kInstalled, "dir", nullptr}), kEntries,
       folderAt(kBackup)},
      {"V2\n" + longLine, kInstalled, kErrCfgReadSource},
      {kTempl, badInstalled, kErrCfgReadDest},
      // A leftover folder where the merged file goes; a leftover file is replaced.
      {kTempl, kInstalled, kErrCfgCreateDest, Expect({kInstalled, nullptr, "dir"}), kEntries,
       folderAt(kTemp)},
      {kTempl, kInstalled, 0, Expect({kMerged, kInstalled, nullptr}), kEntries,
       [this] { Write(kTemp, "V9\nleftover\n"); }}};
  // The letter and a non-zero, finite number must open the first word.
  for (const char* bad :
       {"V 2\n", "V0\n", "V\n", "\nGain 1\n", "", "#V2\n", "2\n", "Vnan\n", "Vinf\n", "V1e999\n"}) {
    cases.push_back({bad, kInstalled, kErrCfgSourceVersion});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases.data()));
    Files(c.templ, c.installed);
    SetSection(c.entries);
    c.prepare();
    info_.error = kErrTimeStampOlder;  // a success clears it
    EXPECT_EQ(Run(), c.code == 0 ? 1 : 0);
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(Read(kSrc), c.templ);
    EXPECT_EQ(State(),
              c.state.empty() ? Expect({c.installed.c_str(), kOldBackup, nullptr}) : c.state);
    fs::remove_all(Host(kTemp));
  }
}

// A template swapped between its digest and the reading of its lines is not
// merged: the digest is taken again once the lines are in.
TEST_F(ConfigUpdateTest, TemplateChangedWhileReadIsRefused) {
  SetSection(With(kEntries, "SHA256Hash", test::Sha256Hex(kTempl)));
  Files(kTempl, kInstalled);
  // Open 1 is the digest, open 2 the line reader.
  test::OpenHook swapping(sim_.platform(), kSrc, [this](int n) {
    if (n == 2) Write(kSrc, "V3\nGain 66\n");
    return "";
  });
  {
    const platform::ScopedPlatform installed(swapping);
    EXPECT_EQ(Run(), 0);
  }
  EXPECT_EQ(info_.error, kErrCfgDigest);
  EXPECT_EQ(State(), Expect({kInstalled, kOldBackup, nullptr}));
}

}  // namespace
}  // namespace upd
