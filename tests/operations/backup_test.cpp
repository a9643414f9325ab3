#include "operations/backup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/error_codes.h"
#include "operation_fixture.h"

namespace upd {
namespace {

using test::Entries;
using test::With;
using test::Without;

constexpr const char* kRoot = "/home/Corvenal/backup";
constexpr const char* kDir1 = "/home/Corvenal/backup/bin";
constexpr const char* kDir2 = "/home/Corvenal/backup/config";

const Entries kEntries = {{"DestDir", kRoot},
                          {"SrcDir1", "/home/Corvenal/bin"},
                          {"DestDir1", kDir1},
                          {"SrcDir2", "/home/Corvenal/config"},
                          {"DestDir2", kDir2}};

class BackupFilesTest : public test::OperationTest {};

TEST_F(BackupFilesTest, CreatesMissingDirectoriesInOrder) {
  const std::string tooLong(514, 'x');
  const std::string all = "dir|dir|dir|", none = "-|-|-|";
  const struct {
    Entries entries;
    bool existing;  // all three made before the call, kDir1 holding a file
    int code;       // 0: success
    std::string state;
  } cases[] = {
      {kEntries, true, 0, all},
      {With(kEntries, "DestDir1", "/home/Corvenal/nowhere/bin"), false, kErrMakeDirectory,
       "dir|-|-|"},
      {Without(kEntries, "DestDir"), false, kErrMakeDirectory, none},
      // A file where a directory is wanted counts as existing.
      {With(kEntries, "DestDir2", "/home/Corvenal/bin/corvenal"), false, 0, "dir|dir|-|"},
      {With(kEntries, "DestDir", tooLong), false, kErrNoSrcDir, none},
      {With(kEntries, "SrcDir2", tooLong), false, kErrNoSrcDir, none},
      {With(kEntries, "DestDir1", tooLong), false, kErrNoDestDir, none},
      {With(With(kEntries, "DestDir1", tooLong), "SrcDir2", tooLong), false, kErrNoDestDir, none},
      {With(kEntries, "SrcDir2", "/" + std::string(512, 'x')), false, 0, all},  // 513 fit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    std::filesystem::remove_all(Host(kRoot));
    if (c.existing) {
      Write(std::string(kDir1) + "/kept", "data");
      std::filesystem::create_directories(Host(kDir2));
    }
    SetSection(c.entries);
    info_.error = kErrTimeStampSame;  // a success leaves it as it was

    EXPECT_EQ(BackupFiles(kSection, &info_), c.code == 0 ? 1 : 0);
    EXPECT_EQ(info_.error, c.code == 0 ? kErrTimeStampSame : c.code);
    EXPECT_EQ(State({kRoot, kDir1, kDir2}), c.state);
    EXPECT_EQ(Read(std::string(kDir1) + "/kept"), c.existing ? "data" : "");
  }
}

}  // namespace
}  // namespace upd
