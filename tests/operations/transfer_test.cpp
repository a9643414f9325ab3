#include "operations/transfer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

#include "common/error_codes.h"
#include "operation_fixture.h"
#include "support/digests.h"
#include "support/fault_platform.h"

namespace upd {
namespace {

namespace fs = std::filesystem;
using test::Entries;
using test::Expect;

constexpr const char* kInterim = "/home/Corvenal/download/app.new";
constexpr const char* kDest = "/home/Corvenal/bin/app";
constexpr const char* kBackup = "/home/Corvenal/bin/app.bak";
constexpr const char* kNew = "new build\n";
constexpr const char* kOld = "old build\n";
constexpr const char* kOlderBackup = "older build\n";
constexpr const char* kT = "2026-11-30 14:05:00";

const Entries kEntries = {{"SrcDir", "/usb/firmware"},
                          {"SrcFile", "app"},
                          {"InterimDir", "/home/Corvenal/download"},
                          {"InterimFile", "app.new"},
                          {"DestDir", "/home/Corvenal/bin"},
                          {"DestFile", "app"},
                          {"BackupDir", "/home/Corvenal/bin"},
                          {"BackupFile", "app.bak"},
                          {"MD5Hash", test::Md5Hex(kNew)},
                          {"SHA256Hash", test::Sha256Hex(kNew)}};

Entries WithExtra(const std::string& key, const std::string& value) {
  Entries entries = kEntries;
  entries.emplace_back(key, value);
  return entries;
}

const std::string kUntouched = Expect({kOld, kOlderBackup, nullptr});
const std::string kInstalled = Expect({kNew, kOld, nullptr});
const std::string kStaged = Expect({kOld, kOlderBackup, kNew});

class TransferFileTest : public test::OperationTest {
 protected:
  // The medium's new file, the installed file and an earlier backup.
  void Files() const {
    Write("/usb/firmware/app", kNew);
    Write(kDest, kOld);
    fs::remove_all(Host(kBackup));
    Write(kBackup, kOlderBackup);
    fs::remove(Host(kInterim));
  }
  int Run(const Entries& entries) {
    SetSection(entries);
    return TransferFile(kSection, &info_);
  }
  [[nodiscard]] std::string State() const {
    return OperationTest::State({kDest, kBackup, kInterim});
  }
};

TEST_F(TransferFileTest, InstallsTheVerifiedCopyWithMode0755) {
  Files();
  ASSERT_EQ(Run(kEntries), 1);
  EXPECT_EQ(info_.error, 0);
  EXPECT_EQ(State(), kInstalled);
  EXPECT_EQ(fs::status(Host(kDest)).permissions() & fs::perms::all,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                fs::perms::others_read | fs::perms::others_exec);
}

TEST_F(TransferFileTest, RefusesBadSectionsBeforeTouchingAFile) {
  const std::string tooLong(256, 'x');
  const struct {
    Entries entries;
    int code;
  } cases[] = {{Without(kEntries, "SrcDir"), kErrNoSrcDir},
               {Without(kEntries, "SrcFile"), kErrNoSrcFile},
               {Without(kEntries, "InterimDir"), kErrNoInterimDir},
               {Without(kEntries, "InterimFile"), kErrNoInterimFile},
               {Without(kEntries, "DestDir"), kErrNoDestDir},
               {Without(kEntries, "DestFile"), kErrNoDestFile},
               {Without(kEntries, "BackupDir"), kErrNoBackupDir},
               {Without(kEntries, "BackupFile"), kErrNoBackupFile},
               {Without(Without(kEntries, "BackupFile"), "SrcFile"), kErrNoSrcFile},
               {With(kEntries, "DestFile", tooLong), kErrTransferValue},
               {WithExtra("TimeStamp", std::string(32, '1')), kErrTransferValue},
               {WithExtra("DestNoExist", "yes"), kErrTransferValue},
               {WithExtra("TimeStampCheck", ""), kErrTransferValue},
               {WithExtra("NoUpdateSame", "true "), kErrTransferValue},
               // Interim, destination and backup must be three distinct files.
               {With(kEntries, "BackupFile", "APP"), kErrTransferValue},
               {With(With(kEntries, "InterimDir", "/home/Corvenal/bin"), "InterimFile", "app.bak"),
                kErrTransferValue},
               {With(With(kEntries, "InterimDir", "\\home\\Corvenal\\bin"), "InterimFile", "APP"),
                kErrTransferValue}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    Files();
    EXPECT_EQ(Run(c.entries), 0);
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(State(), kUntouched);
  }
}

TEST_F(TransferFileTest, TimestampGateSkipsOlderAndSameBuilds) {
  constexpr std::uint32_t kOlder = UPD_TIMESTAMP_OLDER;
  constexpr std::uint32_t kSame = UPD_TIMESTAMP_SAME;
  const struct {
    const char* installed;  // -t value, nullptr: none
    bool force;
    std::uint32_t before;  // bits set by earlier sections
    const char* offered;   // "TimeStamp", nullptr: none
    const char* check;     // "TimeStampCheck", nullptr: none
    int code;
    std::uint32_t after;
    bool installs;
  } cases[] = {{kT, false, 0, kT, nullptr, 0, kSame, false},
               {kT, false, 0, "2026-11-30 14:04:59", nullptr, 0, kOlder, false},
               {kT, false, 0, "2026-11-30 14:05:01", "True", 0, 0, true},
               {kT, true, 0, "2019-01-01 00:00:00", nullptr, 0, 0, true},
               {nullptr, false, 0, "2019-01-01 00:00:00", nullptr, 0, 0, true},
               {kT, false, kOlder, "2019-01-01 00:00:00", "FALSE", 0, kOlder, true},
               {kT, false, kSame, nullptr, nullptr, 0, kSame, true},
               {kT, false, kOlder, "2030-01-01 00:00:00", nullptr, 0, kOlder, false},
               {kT, false, 0, "30.11.2026", nullptr, kErrTimeStampConvert, 0, false},
               {"yesterday", false, 0, kT, nullptr, kErrTimeStampConvert, 0, false},
               {kT, true, 0, "30.11.2026", nullptr, 0, 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    Files();
    info_ = UpdateInfo{};
    if (c.installed != nullptr) {
      std::snprintf(info_.timestamp, sizeof info_.timestamp, "%s", c.installed);
      info_.flags |= UPD_TIMESTAMP_SET;
    }
    info_.flags |= c.before | (c.force ? UPD_FORCE : 0U);
    Entries entries = kEntries;
    if (c.offered != nullptr) entries.emplace_back("TimeStamp", c.offered);
    if (c.check != nullptr) entries.emplace_back("TimeStampCheck", c.check);
    EXPECT_EQ(Run(entries), c.code == 0 ? 1 : 0);
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(info_.flags & (kOlder | kSame), c.after);
    EXPECT_EQ(State(), c.installs ? kInstalled : kUntouched);
  }
}

TEST_F(TransferFileTest, IdenticalContentOrMissingDestinationByTheSwitches) {
  Write(kDest, kNew);
  Write(kBackup, kOlderBackup);  // no source on the medium at all
  EXPECT_EQ(Run(WithExtra("NoUpdateSame", "true")), 1);
  EXPECT_EQ(State(), Expect({kNew, kOlderBackup, nullptr}));

  Files();
  fs::remove(Host(kDest));
  EXPECT_EQ(Run(WithExtra("DestNoExist", "true")), 1);
  EXPECT_EQ(State(), Expect({kNew, nullptr, nullptr}));
}

TEST_F(TransferFileTest, FailuresLeaveTheFilesAsDocumented) {
  using platform::FileCall;
  const std::string alias = "/home/Corvenal/download/APP.NEW";
  const struct {
    Entries entries;
    int code;
    std::string state;
    std::function<void()> prepare = nullptr;
    test::Faults faults = {};
  } cases[] = {
      {With(kEntries, "SrcFile", "none"), kErrSourceMissing, kUntouched},
      {With(kEntries, "InterimDir", "/no/such/dir"), kErrMakeDirectory, kUntouched},
      {With(kEntries, "MD5Hash", "9D" + test::Md5Hex(kNew).substr(2)), kErrMd5Mismatch, kStaged},
      {Without(kEntries, "MD5Hash"), kErrMd5Mismatch, kStaged},
      {With(kEntries, "SHA256Hash", test::Sha256Hex("other")), kErrSha256Mismatch, kStaged},
      {With(kEntries, "BackupDir", "/home/Corvenal/none"), kErrMoveToBackup, kStaged},
      // Without DestNoExist, refused before the old backup (maybe the last copy) goes.
      {kEntries, kErrMoveToBackup, Expect({nullptr, kOlderBackup, kNew}),
       [this] { fs::remove(Host(kDest)); }},
      // A folder in the way is refused before anything is made.
      {kEntries, kErrFolder, Expect({kOld, "dir", nullptr}),
       [this] {
         fs::remove(Host(kBackup));
         Write(std::string(kBackup) + "/keep", "x");
       }},
      {kEntries, kErrRemoveBackup, kStaged, nullptr, {{{FileCall::kRemove, EPERM}}}},
      // Copy onto itself: the source must survive.
      {With(With(kEntries, "SrcDir", "/home/Corvenal/download"), "SrcFile", "APP.NEW"),
       kErrCopyInterim, Expect({kOld, kOlderBackup, nullptr}), [&] { Write(alias, kNew); }},
      // The previous file stays at the destination as well as at the backup path.
      {kEntries,
       kErrMoveIntoPlace,
       Expect({kOld, kOld, kNew}),
       nullptr,
       {.divert = kDest, .when = [this] { return Read(kBackup) == kOld; }}},
      // The mode is set before anything moves: a file that cannot run is never installed.
      {kEntries, kErrChmod, kStaged, nullptr, {{{FileCall::kSetMode, EPERM}}}},
      // A link that fails for want of space is no reason to copy.
      {kEntries,
       kErrMoveToBackup,
       Expect({kOld, nullptr, kNew}),
       nullptr,
       {{{FileCall::kLink, ENOSPC}}}}};

  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    Files();
    if (c.prepare) c.prepare();
    {
      const test::FaultScope faults(sim_.platform(), c.faults);
      EXPECT_EQ(Run(c.entries), 0);
    }
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(State(), c.state);
    EXPECT_EQ(Exists(alias) ? Read(alias) : kNew, kNew);  // a copy onto itself keeps it
    fs::remove(Host(alias));
  }
}

TEST_F(TransferFileTest, WithoutHardLinksThePreviousFileIsCopiedAside) {
  Files();
  test::RefusingPlatform noLinks(sim_.platform(), platform::FileCall::kLink, EPERM);
  {
    platform::ScopedPlatform installed(noLinks);
    EXPECT_EQ(Run(kEntries), 1);
  }
  EXPECT_EQ(State(), kInstalled);
  EXPECT_EQ(fs::status(Host(kBackup)).permissions() & fs::perms::all,
            fs::status(Host(kDest)).permissions() & fs::perms::all);

  // Then a failed move into place leaves the destination as it was.
  Files();
  test::DivertedPlatform diverted(noLinks, kDest, [this] { return Read(kBackup) == kOld; });
  platform::ScopedPlatform installed(diverted);
  EXPECT_EQ(Run(kEntries), 0);
  EXPECT_EQ(info_.error, kErrMoveIntoPlace);
  EXPECT_EQ(State(), Expect({kOld, kOld, kNew}));
}

}  // namespace
}  // namespace upd
