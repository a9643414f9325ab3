#include "fileutil/fileops.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/fault_platform.h"
#include "support/test_support.h"

namespace upd {
namespace {

namespace fs = std::filesystem;
using test::PathExists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(FileTests, ExistsIsordAndFilelen) {
  TempDir dir;
  WriteFile(dir / "file", std::string(1234, 'a'));
  fs::create_symlink(dir / "nowhere", dir / "dangling");
  fs::create_symlink(dir / "file", dir / "link");
  fs::create_directory_symlink(dir.path(), dir / "dirlink");
  EXPECT_EQ(exists(nullptr) + exists("") + isord(nullptr) + isdir(nullptr), 0);
  // name in dir ("" the directory itself), exists, isord, isdir; links are followed
  const std::tuple<const char*, int, int, int> cases[] = {
      {"file", 1, 1, 0},    {"link", 1, 1, 0},     {"", 1, 0, 1},
      {"dirlink", 1, 0, 1}, {"dangling", 0, 0, 0}, {"missing", 0, 0, 0}};
  for (const auto& [name, exist, ord, folder] : cases) {
    EXPECT_EQ(exists((dir / name).c_str()), exist) << name;
    EXPECT_EQ(isord((dir / name).c_str()), ord) << name;
    EXPECT_EQ(isdir((dir / name).c_str()), folder) << name;
  }

  FilePtr in(OpenFile((dir / "file").c_str(), "rb"));
  ASSERT_TRUE(in);
  EXPECT_EQ(filelen_fp(in.get()), 1234);
  EXPECT_EQ(filelen_fp(nullptr), -1);
  EXPECT_EQ(filelen(-1), -1);
  // Past a signed 32-bit size the length is unknown on both builds (a 32-bit
  // fstat fails; a 64-bit one gives a size out of range), never wrapped. The
  // 64-bit call makes the sparse file on a 32-bit build too.
  const int big = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(big, 0);
  if (::ftruncate64(big, std::numeric_limits<std::int32_t>::max()) == 0) {
    EXPECT_EQ(filelen(big), std::numeric_limits<std::int32_t>::max());
    ASSERT_EQ(::ftruncate64(big, off64_t{1} << 31), 0);
    EXPECT_EQ(filelen(big), -1);
  }
  ::close(big);
  // On the host's own file system a mode is set through the path.
  EXPECT_EQ(SetMode((dir / "file").c_str(), 0700), 0);
  EXPECT_EQ(fs::status(dir / "file").permissions(), fs::perms::owner_all);
}

TEST(Rename, ResultCodesAndEndStates) {
  TempDir dir;
  WriteFile(dir / "old", "old");
  WriteFile(dir / "new", "new");
  const std::string old = dir / "old";
  EXPECT_EQ(Rename("", ""), kRenameNoOldName);
  EXPECT_EQ(Rename(nullptr, "x"), kRenameNoOldName);
  EXPECT_EQ(Rename(old.c_str(), ""), kRenameNoNewName);
  EXPECT_EQ(Rename(old.c_str(), nullptr), kRenameNoNewName);
  EXPECT_EQ(Rename((dir / "missing").c_str(), (dir / "new").c_str()), kRenameOldMissing);
  EXPECT_EQ(Rename(old.c_str(), (dir / "new").c_str()), kRenameNewExists);
  EXPECT_EQ(ReadFile(dir / "new"), "new");
  EXPECT_EQ(Rename(old.c_str(), (dir / "no/such/new").c_str()), kRenameNoEntry);
  fs::create_symlink(dir / "nowhere", dir / "dangling");  // a name, though it leads nowhere
  EXPECT_EQ(Rename(old.c_str(), (dir / "dangling").c_str()), kRenameNewExists);
  EXPECT_TRUE(fs::is_symlink(dir / "dangling"));
  // What the call itself fails with.
  const std::pair<int, int> refusals[] = {
      {EACCES, kRenameAccess}, {EXDEV, kRenameCrossDevice}, {EBUSY, kRenameOther}};
  for (const auto& [error, code] : refusals) {
    test::RefusingPlatform refusing(platform::Current(), platform::FileCall::kRename, error);
    const platform::ScopedPlatform installed(refusing);
    EXPECT_EQ(Rename(old.c_str(), (dir / "moved").c_str()), code) << error;
  }
  EXPECT_EQ(ReadFile(old), "old");
  EXPECT_EQ(Rename(old.c_str(), (dir / "moved").c_str()), kRenameOk);
  EXPECT_EQ(ReadFile(dir / "moved"), "old");
  EXPECT_FALSE(PathExists(old));
}

TEST(SamePath, FoldsCaseAndBackslashesOnly) {
  const std::tuple<const char*, const char*, int> cases[] = {
      {"/home/Corvenal/bin/App", "/home/corvenal/bin/app", 1},
      {"\\Home\\Corvenal\\App", "/home/corvenal/app", 1},
      {"/a//b", "/a/b", 0},
      {"/a/", "/a", 0},
      {"", "", 1},
      {"/a\xC4", "/a\xE4", 0},  // only ASCII letters fold
  };
  for (const auto& [a, b, same] : cases) EXPECT_EQ(SamePath(a, b), same) << a << " vs " << b;
  const std::string prefix(512, 'p');  // only the first 512 characters count
  EXPECT_EQ(SamePath((prefix + "x").c_str(), (prefix + "y").c_str()), 1);
  EXPECT_EQ(SamePath((prefix.substr(1) + "x").c_str(), (prefix.substr(1) + "y").c_str()), 0);
}

TEST(SameFile, ComparesWhatPathsNameNotHowTheyAreSpelt) {
  TempDir dir;
  WriteFile(dir / "d/app.bin", "app");
  WriteFile(dir / "d/other", "other");
  fs::create_directory(dir / "d/sub");
  fs::create_symlink("app.bin", dir / "d/link");
  fs::create_hard_link(dir / "d/app.bin", dir / "d/hard");
  fs::create_directory_symlink(dir / "d", dir / "alias");
  // a and b in dir, SameFile, HardLinked
  const std::tuple<const char*, const char*, int, int> cases[] = {
      {"d/app.bin", "d//app.bin", 1, 0},
      {"d/app.bin", "./d/sub/../app.bin", 1, 0},
      {"d/sub", "d/sub/", 1, 0},
      {"d/APP.bin", "d/app.bin", 1, 0},
      {"d/none/x/../y", "d/none/y", 1, 0},  // by the text alone: nothing there to look at
      {"d/link", "d/app.bin", 1, 0},
      {"d/hard", "d/app.bin", 1, 1},
      {"alias/app.bin", "d/app.bin", 1, 0},
      {"alias/new", "d/new", 1, 0},  // a file yet to be made, by its folder and name
      {"d/new", "d/app.bin", 0, 0},
      {"d/new", "d/sub/new", 0, 0},
      {"d/other", "d/app.bin", 0, 0},
  };
  for (const auto& [a, b, same, hard] : cases) {
    EXPECT_EQ(SameFile((dir / a).c_str(), (dir / b).c_str()), same) << a << " vs " << b;
    EXPECT_EQ(HardLinked((dir / a).c_str(), (dir / b).c_str()), hard) << a << " vs " << b;
  }
  EXPECT_EQ(SameFile(nullptr, (dir / "d").c_str()), 0);
}

TEST(CopyFile, NeverTruncatesItsOwnSource) {
  TempDir dir;
  const std::string src = dir / "d/app.bin";
  WriteFile(src, "program");
  fs::create_symlink(src, dir / "d/link");
  fs::create_hard_link(src, dir / "d/hard");
  for (const char* other : {"d//app.bin", "d/./app.bin", "d/link", "d/hard"}) {
    EXPECT_EQ(CopyFile(src.c_str(), (dir / other).c_str()), 0) << other;
    EXPECT_EQ(ReadFile(src), "program") << other;
  }
  // Where the names cannot tell, the open files still do.
  const std::string copy = dir / "d/copy";
  WriteFile(copy, "older");
  test::OpenHook swapped(platform::Current(), copy, [&](int) { return src.c_str(); });
  {
    const platform::ScopedPlatform installed(swapped);
    EXPECT_EQ(CopyFile(src.c_str(), copy.c_str()), 0);
  }
  EXPECT_EQ(ReadFile(src), "program");
  EXPECT_EQ(ReadFile(copy), "older");
}

TEST(CopyFile, CopiesOrRefusesWithoutTouchingAnything) {
  TempDir dir;
  std::string content;
  // Several stream buffers and an odd tail.
  for (int i = 0; i < 300 * 1024 + 77; ++i) content += static_cast<char>(i % 251);
  const std::string src = dir / "Data/File.bin";
  WriteFile(src, content);
  WriteFile(dir / "dst", "older and longer content that must go");
  EXPECT_EQ(CopyFile(src.c_str(), (dir / "dst").c_str()), 1);
  EXPECT_EQ(ReadFile(dir / "dst"), content);
  WriteFile(dir / "empty", "");
  EXPECT_EQ(CopyFile((dir / "empty").c_str(), (dir / "copy").c_str()), 1);
  EXPECT_TRUE(PathExists(dir / "copy"));

  fs::create_directory(dir / "adir");
  EXPECT_EQ(CopyFile(src.c_str(), (dir / "adir").c_str()), 0);
  EXPECT_TRUE(fs::is_directory(dir / "adir"));
  EXPECT_EQ(CopyFile((dir / "adir").c_str(), (dir / "fromdir").c_str()), 0);
  EXPECT_EQ(CopyFile((dir / "missing").c_str(), (dir / "frommissing").c_str()), 0);
  EXPECT_FALSE(PathExists(dir / "fromdir") || PathExists(dir / "frommissing"));
  EXPECT_EQ(CopyFile(nullptr, (dir / "x").c_str()), 0);
  EXPECT_EQ(CopyFile(src.c_str(), nullptr), 0);
  // An unreadable source is found out after the destination was created.
  test::OpenHook unreadable(platform::Current(), src, [](int) -> const char* { return nullptr; });
  const platform::ScopedPlatform installed(unreadable);
  EXPECT_EQ(CopyFile(src.c_str(), (dir / "dst2").c_str()), 0);
  EXPECT_EQ(ReadFile(dir / "dst2"), "");
  EXPECT_TRUE(PathExists(dir / "dst2"));
}

}  // namespace
}  // namespace upd
