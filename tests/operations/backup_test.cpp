#include "operations/backup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/error_codes.h"
#include "operation_fixture.h"

namespace upd {
namespace {

using test::Entries;

constexpr const char* kRoot = "/home/Corvenal/backup";
constexpr const char* kDir1 = "/home/Corvenal/backup/bin";
constexpr const char* kDir2 = "/home/Corvenal/backup/config";

const Entries kEntries = {
    {"DestDir", kRoot},  {"SrcDir1", "/home/Corvenal/bin"},
    {"DestDir1", kDir1}, {"SrcDir2", "/home/Corvenal/config"},
    {"DestDir2", kDir2},
};

class BackupFilesTest : public test::OperationTest {};

TEST_F(BackupFilesTest, CreatesMissingDirectoriesInOrder) {
  const std::string tooLong(514, 'x');
  const std::string longest = "/" + std::string(512, 'x');
  const struct {
    const char* what;
    Entries entries;
    std::vector<std::string> existing;  // made before the call
    int code;                           // 0: success
    std::vector<std::string> made;      // directories after the call
    std::vector<std::string> absent;
  } cases[] = {
      {"all exist", kEntries, {kRoot, kDir1, kDir2}, 0, {kRoot, kDir1, kDir2}, {}},
      {"root missing, both inside it", kEntries, {}, 0, {kRoot, kDir1, kDir2}, {}},
      {"sources need not be given",
       Without(Without(kEntries, "SrcDir1"), "SrcDir2"),
       {},
       0,
       {kRoot, kDir1, kDir2},
       {}},
      {"first destination's parent missing",
       With(kEntries, "DestDir1", "/home/Corvenal/nowhere/bin"),
       {},
       kErrMakeDirectory,
       {kRoot},
       {kDir2}},
      {"second destination absent",
       Without(kEntries, "DestDir2"),
       {},
       kErrMakeDirectory,
       {kRoot, kDir1},
       {}},
      {"root absent", Without(kEntries, "DestDir"), {}, kErrMakeDirectory, {}, {kDir1}},
      {"a file where a directory is wanted counts as existing",
       With(kEntries, "DestDir2", "/home/Corvenal/bin/corvenal"),
       {},
       0,
       {kRoot, kDir1},
       {}},
      {"DestDir too long", With(kEntries, "DestDir", tooLong), {}, kErrNoSrcDir, {}, {kRoot}},
      {"SrcDir1 too long", With(kEntries, "SrcDir1", tooLong), {}, kErrNoSrcDir, {}, {kRoot}},
      {"SrcDir2 too long", With(kEntries, "SrcDir2", tooLong), {}, kErrNoSrcDir, {}, {kRoot}},
      {"DestDir1 too long", With(kEntries, "DestDir1", tooLong), {}, kErrNoDestDir, {}, {kRoot}},
      {"DestDir2 too long", With(kEntries, "DestDir2", tooLong), {}, kErrNoDestDir, {}, {kRoot}},
      {"the first value too long decides",
       With(With(kEntries, "DestDir1", tooLong), "SrcDir2", tooLong),
       {},
       kErrNoDestDir,
       {},
       {kRoot}},
      {"513 characters fit", With(kEntries, "SrcDir2", longest), {}, 0, {kRoot, kDir1, kDir2}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Host(kRoot));
    for (const std::string& dir : c.existing) std::filesystem::create_directories(Host(dir));
    SetSection(c.entries);
    info_.error = kErrTimeStampSame;  // a success leaves it as it was

    EXPECT_EQ(BackupFiles(kSection, &info_), c.code == 0 ? 1 : 0);
    EXPECT_EQ(info_.error, c.code == 0 ? kErrTimeStampSame : c.code);
    for (const std::string& dir : c.made) {
      EXPECT_TRUE(std::filesystem::is_directory(Host(dir))) << dir;
    }
    for (const std::string& dir : c.absent) EXPECT_FALSE(Exists(dir)) << dir;
  }
}

TEST_F(BackupFilesTest, ExistingDirectoriesKeepTheirContent) {
  Write(std::string(kDir1) + "/kept", "data");
  std::filesystem::create_directories(Host(kDir2));
  SetSection(kEntries);
  ASSERT_EQ(BackupFiles(kSection, &info_), 1);
  EXPECT_EQ(Read(std::string(kDir1) + "/kept"), "data");
}

}  // namespace
}  // namespace upd
