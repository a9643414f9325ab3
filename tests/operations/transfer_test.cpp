#include "operations/transfer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "driver/error_codes.h"
#include "operation_fixture.h"
#include "support/digests.h"
#include "support/fault_platform.h"

namespace upd {
namespace {

namespace fs = std::filesystem;
using test::Entries;

constexpr const char* kSource = "/usb/firmware/app";
constexpr const char* kInterim = "/home/Corvenal/download/app.new";
constexpr const char* kDest = "/home/Corvenal/bin/app";
constexpr const char* kBackup = "/home/Corvenal/bin/app.bak";
constexpr const char* kNew = "new build\n";
constexpr const char* kOld = "old build\n";
constexpr const char* kOlderBackup = "older build\n";

const Entries kEntries = {
    {"SrcDir", "/usb/firmware"},
    {"SrcFile", "app"},
    {"InterimDir", "/home/Corvenal/download"},
    {"InterimFile", "app.new"},
    {"DestDir", "/home/Corvenal/bin"},
    {"DestFile", "app"},
    {"BackupDir", "/home/Corvenal/bin"},
    {"BackupFile", "app.bak"},
    {"MD5Hash", test::Md5Hex(kNew)},
    {"SHA256Hash", test::Sha256Hex(kNew)},
};

class TransferFileTest : public test::OperationTest {
 protected:
  // The medium's new file, the installed file and an earlier backup.
  void Files(bool withDest = true, bool withBackup = true) const {
    Write(kSource, kNew);
    if (withDest) Write(kDest, kOld);
    if (withBackup) Write(kBackup, kOlderBackup);
  }
  int Run(const Entries& entries) {
    SetSection(entries);
    return TransferFile(kSection, &info_);
  }
  // Installed, backup and interim files as they stand ("-" for none).
  [[nodiscard]] std::string State() const {
    const auto one = [this](const char* path) { return Exists(path) ? Read(path) : "-\n"; };
    return one(kDest) + one(kBackup) + one(kInterim);
  }
  void WithInstalledTimestamp(const char* timestamp) {
    std::snprintf(info_.timestamp, sizeof info_.timestamp, "%s", timestamp);
    info_.flags |= UPD_TIMESTAMP_SET;
  }
};

Entries WithExtra(const std::string& key, const std::string& value) {
  Entries entries = kEntries;
  entries.emplace_back(key, value);
  return entries;
}

const std::string kUntouched = std::string(kOld) + kOlderBackup + "-\n";

TEST_F(TransferFileTest, InstallsTheVerifiedCopyAndKeepsThePrevious) {
  Files();
  ASSERT_EQ(Run(kEntries), 1);
  EXPECT_EQ(info_.error, 0);
  EXPECT_EQ(State(), std::string(kNew) + kOld + "-\n");
  EXPECT_EQ(fs::status(Host(kDest)).permissions() & fs::perms::all,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                fs::perms::others_read | fs::perms::others_exec);
}

TEST_F(TransferFileTest, RefusesBadSectionsBeforeTouchingAFile) {
  const std::string tooLong(256, 'x');
  const struct {
    const char* what;
    Entries entries;
    int code;
  } cases[] = {
      {"no SrcDir", Without(kEntries, "SrcDir"), kErrNoSrcDir},
      {"no SrcFile", Without(kEntries, "SrcFile"), kErrNoSrcFile},
      {"no InterimDir", Without(kEntries, "InterimDir"), kErrNoInterimDir},
      {"no InterimFile", Without(kEntries, "InterimFile"), kErrNoInterimFile},
      {"no DestDir", Without(kEntries, "DestDir"), kErrNoDestDir},
      {"no DestFile", Without(kEntries, "DestFile"), kErrNoDestFile},
      {"no BackupDir", Without(kEntries, "BackupDir"), kErrNoBackupDir},
      {"no BackupFile", Without(kEntries, "BackupFile"), kErrNoBackupFile},
      {"first missing wins", Without(Without(kEntries, "BackupFile"), "SrcFile"), kErrNoSrcFile},
      {"path too long", With(kEntries, "DestFile", tooLong), kErrTransferValue},
      {"timestamp too long", WithExtra("TimeStamp", std::string(32, '1')), kErrTransferValue},
      {"backup is the destination", With(kEntries, "BackupFile", "APP"), kErrTransferValue},
      {"interim is the backup",
       With(With(kEntries, "InterimDir", "/home/Corvenal/bin"), "InterimFile", "app.bak"),
       kErrTransferValue},
      {"interim is the destination",
       With(With(kEntries, "InterimDir", "\\home\\Corvenal\\bin"), "InterimFile", "APP"),
       kErrTransferValue},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Files();
    EXPECT_EQ(Run(c.entries), 0);
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(State(), kUntouched);
  }
  for (const char* value : {"yes", "", "1", "true "}) {
    for (const char* key : {"DestNoExist", "TimeStampCheck", "NoUpdateSame"}) {
      SCOPED_TRACE(std::string(key) + "=" + value);
      Files();
      EXPECT_EQ(Run(WithExtra(key, value)), 0);
      EXPECT_EQ(info_.error, kErrTransferValue);
      EXPECT_EQ(State(), kUntouched);
    }
  }
}

TEST_F(TransferFileTest, TimestampGateSkipsOlderAndSameBuilds) {
  const struct {
    const char* what;
    const char* installed;  // -t value, nullptr: none
    bool force;
    std::uint32_t before;  // bits set by earlier sections
    const char* offered;   // "TimeStamp", nullptr: none
    const char* check;     // "TimeStampCheck", nullptr: none
    int result;
    int code;
    std::uint32_t after;
    bool installs;
  } cases[] = {
      {"same", "2026-11-30 14:05:00", false, 0, "2026-11-30 14:05:00", nullptr, 1, 0,
       UPD_TIMESTAMP_SAME, false},
      {"older", "2026-11-30 14:05:00", false, 0, "2026-11-30 14:04:59", nullptr, 1, 0,
       UPD_TIMESTAMP_OLDER, false},
      {"newer", "2026-11-30 14:05:00", false, 0, "2026-11-30 14:05:01", "True", 1, 0, 0, true},
      {"forced", "2026-11-30 14:05:00", true, 0, "2019-01-01 00:00:00", nullptr, 1, 0, 0, true},
      {"no -t", nullptr, false, 0, "2019-01-01 00:00:00", nullptr, 1, 0, 0, true},
      {"check off", "2026-11-30 14:05:00", false, UPD_TIMESTAMP_OLDER, "2019-01-01 00:00:00",
       "FALSE", 1, 0, UPD_TIMESTAMP_OLDER, true},
      {"no TimeStamp", "2026-11-30 14:05:00", false, UPD_TIMESTAMP_SAME, nullptr, nullptr, 1, 0,
       UPD_TIMESTAMP_SAME, true},
      {"earlier section was older", "2026-11-30 14:05:00", false, UPD_TIMESTAMP_OLDER,
       "2030-01-01 00:00:00", nullptr, 1, 0, UPD_TIMESTAMP_OLDER, false},
      {"unparsable", "2026-11-30 14:05:00", false, 0, "30.11.2026", nullptr, 0,
       kErrTimeStampConvert, 0, false},
      {"unparsable -t", "yesterday", false, 0, "2026-11-30 14:05:00", nullptr, 0,
       kErrTimeStampConvert, 0, false},
      {"unparsable, forced", "2026-11-30 14:05:00", true, 0, "30.11.2026", nullptr, 1, 0, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Files();
    info_ = UpdateInfo{};
    if (c.installed != nullptr) WithInstalledTimestamp(c.installed);
    if (c.force) info_.flags |= UPD_FORCE;
    info_.flags |= c.before;
    Entries entries = kEntries;
    if (c.offered != nullptr) entries.emplace_back("TimeStamp", c.offered);
    if (c.check != nullptr) entries.emplace_back("TimeStampCheck", c.check);
    EXPECT_EQ(Run(entries), c.result);
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(info_.flags & (UPD_TIMESTAMP_OLDER | UPD_TIMESTAMP_SAME), c.after);
    EXPECT_EQ(State(), c.installs ? std::string(kNew) + kOld + "-\n" : kUntouched);
    fs::remove(Host(kInterim));
  }
}

TEST_F(TransferFileTest, IdenticalContentIsNotInstalledAgain) {
  Write(kDest, kNew);
  Write(kBackup, kOlderBackup);  // no source on the medium at all
  Entries entries = kEntries;
  entries.emplace_back("NoUpdateSame", "true");
  EXPECT_EQ(Run(entries), 1);
  EXPECT_EQ(State(), std::string(kNew) + kOlderBackup + "-\n");

  // Without the switch the missing source is an error.
  EXPECT_EQ(Run(kEntries), 0);
  EXPECT_EQ(info_.error, kErrSourceMissing);
}

TEST_F(TransferFileTest, MissingDestinationNeedsDestNoExist) {
  // Refused before the old backup goes: it may be the last copy left.
  Files(false);
  EXPECT_EQ(Run(kEntries), 0);
  EXPECT_EQ(info_.error, kErrMoveToBackup);
  EXPECT_EQ(State(), std::string("-\n") + kOlderBackup + kNew);

  Entries allowed = kEntries;
  allowed.emplace_back("DestNoExist", "true");
  EXPECT_EQ(Run(allowed), 1);
  EXPECT_EQ(State(), std::string(kNew) + "-\n-\n");
}

TEST_F(TransferFileTest, InstallFailuresLeaveTheFilesAsDocumented) {
  const struct {
    const char* what;
    Entries entries;
    int code;
    std::string state;  // destination, backup, interim
  } cases[] = {
      {"source missing", With(kEntries, "SrcFile", "none"), kErrSourceMissing, kUntouched},
      {"interim dir cannot be made", With(kEntries, "InterimDir", "/no/such/dir"),
       kErrMakeDirectory, kUntouched},
      {"upper-case MD5", With(kEntries, "MD5Hash", "9D" + test::Md5Hex(kNew).substr(2)),
       kErrMd5Mismatch, kUntouched.substr(0, kUntouched.size() - 2) + kNew},
      {"no MD5", Without(kEntries, "MD5Hash"), kErrMd5Mismatch,
       kUntouched.substr(0, kUntouched.size() - 2) + kNew},
      {"wrong SHA-256", With(kEntries, "SHA256Hash", test::Sha256Hex("other")), kErrSha256Mismatch,
       kUntouched.substr(0, kUntouched.size() - 2) + kNew},
      {"backup dir missing", With(kEntries, "BackupDir", "/home/Corvenal/none"), kErrMoveToBackup,
       kUntouched.substr(0, kUntouched.size() - 2) + kNew},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Files();
    fs::remove(Host(kInterim));
    EXPECT_EQ(Run(c.entries), 0);
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(State(), c.state);
  }
}

TEST_F(TransferFileTest, CopyOntoItselfIs658) {
  Files();
  Write("/home/Corvenal/download/APP.NEW", kNew);
  EXPECT_EQ(Run(With(With(kEntries, "SrcDir", "/home/Corvenal/download"), "SrcFile", "APP.NEW")),
            0);
  EXPECT_EQ(info_.error, kErrCopyInterim);
  EXPECT_EQ(Read("/home/Corvenal/download/APP.NEW"), kNew);
}

TEST_F(TransferFileTest, OldBackupThatCannotBeRemovedIs653) {
  Files(true, false);
  Write(std::string(kBackup) + "/keep", "x");  // a directory in the backup's place
  EXPECT_EQ(Run(kEntries), 0);
  EXPECT_EQ(info_.error, kErrRemoveBackup);
  EXPECT_EQ(Read(kDest), kOld);
  EXPECT_EQ(Read(kInterim), kNew);
  EXPECT_EQ(Read(std::string(kBackup) + "/keep"), "x");
}

TEST_F(TransferFileTest, FailuresAfterTheBackupKeepThePreviousFile) {
  // 655: the new file cannot take the destination's name once the old one moved.
  Files();
  {
    test::DivertedPlatform platform(sim_.platform(), kDest,
                                    [this] { return Read(kBackup) == kOld; });
    const platform::ScopedPlatform installed(platform);
    EXPECT_EQ(Run(kEntries), 0);
  }
  EXPECT_EQ(info_.error, kErrMoveIntoPlace);
  EXPECT_EQ(State(), std::string("-\n") + kOld + kNew);

  // 620: the new file is in place but its mode cannot be set.
  Files();
  fs::remove(Host(kInterim));
  {
    test::DivertedPlatform platform(sim_.platform(), kDest,
                                    [this] { return Read(kBackup) == kOld && !Exists(kInterim); });
    const platform::ScopedPlatform installed(platform);
    EXPECT_EQ(Run(kEntries), 0);
  }
  EXPECT_EQ(info_.error, kErrChmod);
  EXPECT_EQ(State(), std::string(kNew) + kOld + "-\n");
}

}  // namespace
}  // namespace upd
