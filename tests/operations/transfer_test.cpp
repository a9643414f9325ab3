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
using test::With;
using test::Without;

constexpr const char* kInterim = "/home/Corvenal/download/app.new";
constexpr const char* kDest = "/home/Corvenal/bin/app";
constexpr const char* kBackup = "/home/Corvenal/bin/app.bak";
constexpr const char* kNew = "new build\n";
constexpr const char* kOld = "old build\n";
constexpr const char* kOlderBackup = "older build\n";

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

// The faults whose files the whole-program fault tests do not look at, an
// interim copy that would be another of the step's files (each key's own
// refusal is pinned end to end), and installs without a destination or
// without hard links.
TEST_F(TransferFileTest, FailuresLeaveTheFilesAsDocumented) {
  const std::string alias = "/home/Corvenal/download/APP.NEW";
  const struct {
    Entries entries;
    int code;
    std::string state;
    std::function<void()> prepare = nullptr;
    int linkError = 0;  // every hard link fails with it
  } cases[] = {
      {With(With(kEntries, "InterimDir", "\\home\\Corvenal\\bin"), "InterimFile", "APP"),
       kErrTransferValue, kUntouched},
      {Without(kEntries, "MD5Hash"), kErrMd5Mismatch, kStaged},
      {With(kEntries, "BackupDir", "/home/Corvenal/none"), kErrMoveToBackup, kStaged},
      // Without DestNoExist, refused before the old backup (maybe the last copy) goes.
      {kEntries, kErrMoveToBackup, Expect({nullptr, kOlderBackup, kNew}),
       [this] { fs::remove(Host(kDest)); }},
      {With(kEntries, "DestNoExist", "true"), 0, Expect({kNew, nullptr, nullptr}),
       [this] { fs::remove(Host(kDest)); }},
      // A folder in the way is refused before anything is made.
      {kEntries, kErrFolder, Expect({kOld, "dir", nullptr}),
       [this] {
         fs::remove(Host(kBackup));
         Write(std::string(kBackup) + "/keep", "x");
       }},
      // Copy onto itself: the source must survive.
      {With(With(kEntries, "SrcDir", "/home/Corvenal/download"), "SrcFile", "APP.NEW"),
       kErrCopyInterim, Expect({kOld, kOlderBackup, nullptr}), [&] { Write(alias, kNew); }},
      // A link that fails for want of space is no reason to copy.
      {kEntries, kErrMoveToBackup, Expect({kOld, nullptr, kNew}), nullptr, ENOSPC},
      // Without hard links the previous file is copied aside, runnable like the original.
      {kEntries, 0, kInstalled, nullptr, EPERM}};

  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    Files();
    if (c.prepare) c.prepare();
    {
      test::Faults faults;
      if (c.linkError != 0) faults.refuse = {{platform::FileCall::kLink, c.linkError}};
      const test::FaultScope links(sim_.platform(), faults);
      EXPECT_EQ(Run(c.entries), c.code == 0 ? 1 : 0);
    }
    EXPECT_EQ(info_.error, c.code);
    EXPECT_EQ(State(), c.state);
    EXPECT_EQ(test::PathExists(Host(alias)) ? Read(alias) : kNew, kNew);
    if (c.linkError == EPERM) {
      EXPECT_EQ(fs::status(Host(kBackup)).permissions(), fs::status(Host(kDest)).permissions());
    }
    fs::remove(Host(alias));
  }
}

}  // namespace
}  // namespace upd
