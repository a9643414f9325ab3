#include "fileutil/fileops.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace upd {
namespace {

namespace fs = std::filesystem;
using test::PathExists;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(Exists, TellsEntriesOfAnyKindAndRefusesNothingNames) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  fs::create_symlink(dir / "nowhere", dir / "dangling");
  EXPECT_EQ(exists(nullptr), 0);
  EXPECT_EQ(exists(""), 0);
  EXPECT_EQ(exists((dir / "file").c_str()), 1);
  EXPECT_EQ(exists(dir.path().c_str()), 1);
  EXPECT_EQ(exists((dir / "missing").c_str()), 0);
  EXPECT_EQ(exists((dir / "dangling").c_str()), 0);
}

TEST(IsOrd, FollowsLinksAndAcceptsOnlyRegularFiles) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  fs::create_symlink(dir / "file", dir / "link");
  EXPECT_EQ(isord((dir / "file").c_str()), 1);
  EXPECT_EQ(isord((dir / "link").c_str()), 1);
  EXPECT_EQ(isord(dir.path().c_str()), 0);
  EXPECT_EQ(isord((dir / "missing").c_str()), 0);
}

TEST(FileLen, ReportsTheDescriptorsSizeWithoutFlushing) {
  TempDir dir;
  WriteFile(dir / "file", std::string(1234, 'a'));
  FilePtr in(OpenFile((dir / "file").c_str(), "rb"));
  ASSERT_TRUE(in);
  EXPECT_EQ(filelen(::fileno(in.get())), 1234);
  EXPECT_EQ(filelen_fp(in.get()), 1234);
  EXPECT_EQ(filelen(-1), -1);
  EXPECT_EQ(filelen_fp(nullptr), -1);

  FilePtr out(OpenFile((dir / "growing").c_str(), "wb"));
  ASSERT_TRUE(out);
  std::fputs("buffered", out.get());
  EXPECT_EQ(filelen_fp(out.get()), 0);  // still in the stream's buffer
  std::fflush(out.get());
  EXPECT_EQ(filelen_fp(out.get()), 8);
}

TEST(RemoveFile, RemovesOneEntryButNoDirectory) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  fs::create_directory(dir / "sub");
  EXPECT_EQ(RemoveFile((dir / "file").c_str()), 1);
  EXPECT_FALSE(PathExists(dir / "file"));
  EXPECT_EQ(RemoveFile((dir / "file").c_str()), 0);
  EXPECT_EQ(RemoveFile((dir / "sub").c_str()), 0);
  EXPECT_TRUE(PathExists(dir / "sub"));
}

TEST(Rename, JudgesItsArgumentsInOrder) {
  TempDir dir;
  WriteFile(dir / "old", "old");
  WriteFile(dir / "new", "new");
  const std::string old = dir / "old";
  const std::string taken = dir / "new";
  const std::string missing = dir / "missing";

  EXPECT_EQ(Rename("", ""), kRenameNoOldName);
  EXPECT_EQ(Rename(nullptr, taken.c_str()), kRenameNoOldName);
  EXPECT_EQ(Rename(old.c_str(), ""), kRenameNoNewName);
  EXPECT_EQ(Rename(old.c_str(), nullptr), kRenameNoNewName);
  EXPECT_EQ(Rename(missing.c_str(), taken.c_str()), kRenameOldMissing);

  EXPECT_EQ(Rename(old.c_str(), taken.c_str()), kRenameNewExists);
  EXPECT_EQ(ReadFile(old), "old");
  EXPECT_EQ(ReadFile(taken), "new");
}

TEST(Rename, MapsTheSystemsFailures) {
  TempDir dir;
  WriteFile(dir / "old", "old");
  fs::create_directory(dir / "tree");

  // The new name's directory is missing.
  EXPECT_EQ(Rename((dir / "old").c_str(), (dir / "no/such/dir/new").c_str()), kRenameNoEntry);
  EXPECT_EQ(ReadFile(dir / "old"), "old");

  // A directory cannot move into itself: any other failure.
  EXPECT_EQ(Rename((dir / "tree").c_str(), (dir / "tree/inside").c_str()), kRenameOther);

  EXPECT_EQ(Rename((dir / "old").c_str(), (dir / "moved").c_str()), kRenameOk);
  EXPECT_EQ(ReadFile(dir / "moved"), "old");
  EXPECT_FALSE(PathExists(dir / "old"));
}

TEST(Rename, PermissionDeniedIsItsOwnCode) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
  TempDir dir;
  WriteFile(dir / "old", "old");
  fs::create_directory(dir / "locked");
  fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(Rename((dir / "old").c_str(), (dir / "locked/new").c_str()), kRenameAccess);
  fs::permissions(dir / "locked", fs::perms::owner_all);
}

TEST(Rename, RefusesToCrossFileSystems) {
  // A second file system: a tmpfs in a private mount namespace of a child
  // process, so that nothing is mounted on the host.
  TempDir dir;
  fs::create_directory(dir / "other");
  WriteFile(dir / "other-file", "data");
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", (dir / "other").c_str(), "tmpfs", 0, nullptr) != 0) {
      ::_exit(77);
    }
    WriteFile(dir / "other/file", "data");
    const int result = Rename((dir / "other/file").c_str(), (dir / "moved").c_str());
    const bool stayed = PathExists(dir / "other/file") && !PathExists(dir / "moved");
    ::_exit(result == kRenameCrossDevice && stayed ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77)
    GTEST_SKIP() << "no private mount namespace for a second file system";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SamePath, FoldsCaseAndBackslashesOnly) {
  struct Case {
    const char* a;
    const char* b;
    int same;
  };
  constexpr Case kCases[] = {
      {"/home/Corvenal/bin/App", "/home/corvenal/bin/app", 1},
      {"\\Home\\Corvenal\\App", "/home/corvenal/app", 1},
      {"/a//b", "/a/b", 0},
      {"./a", "a", 0},
      {"/a/", "/a", 0},
      {"", "", 1},
      {"/a\xC4", "/a\xE4", 0},  // only ASCII letters fold
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(SamePath(c.a, c.b), c.same) << c.a << " vs " << c.b;
  }
  const std::string prefix(512, 'p');
  EXPECT_EQ(SamePath((prefix + "x").c_str(), (prefix + "y").c_str()), 1);
  EXPECT_EQ(SamePath((prefix.substr(1) + "x").c_str(), (prefix.substr(1) + "y").c_str()), 0);
}

TEST(CopyFile, CopiesContentThroughManyBlocks) {
  TempDir dir;
  std::string content;
  for (int i = 0; i < 5000; ++i) content += static_cast<char>(i % 251);
  WriteFile(dir / "src", content);
  WriteFile(dir / "dst", "older and longer content that must go");
  EXPECT_EQ(CopyFile((dir / "src").c_str(), (dir / "dst").c_str()), 1);
  EXPECT_EQ(ReadFile(dir / "dst"), content);

  WriteFile(dir / "empty", "");
  EXPECT_EQ(CopyFile((dir / "empty").c_str(), (dir / "copy").c_str()), 1);
  EXPECT_TRUE(PathExists(dir / "copy"));
  EXPECT_EQ(ReadFile(dir / "copy"), "");
}

TEST(CopyFile, RefusesWithoutTouchingAnything) {
  TempDir dir;
  WriteFile(dir / "Data/File.bin", "payload");
  fs::create_directory(dir / "adir");

  // The same file written with other case and slashes is not truncated.
  const std::string alias = dir.path() + "\\data\\file.BIN";
  EXPECT_EQ(CopyFile((dir / "Data/File.bin").c_str(), alias.c_str()), 0);
  EXPECT_EQ(ReadFile(dir / "Data/File.bin"), "payload");

  EXPECT_EQ(CopyFile((dir / "Data/File.bin").c_str(), (dir / "adir").c_str()), 0);
  EXPECT_TRUE(fs::is_directory(dir / "adir"));

  EXPECT_EQ(CopyFile((dir / "adir").c_str(), (dir / "fromdir").c_str()), 0);
  EXPECT_FALSE(PathExists(dir / "fromdir"));

  EXPECT_EQ(CopyFile((dir / "missing").c_str(), (dir / "frommissing").c_str()), 0);
  EXPECT_FALSE(PathExists(dir / "frommissing"));

  EXPECT_EQ(CopyFile(nullptr, (dir / "x").c_str()), 0);
  EXPECT_EQ(CopyFile((dir / "Data/File.bin").c_str(), nullptr), 0);
}

TEST(CopyFile, SourceThatCannotBeOpenedLeavesAnEmptyDestination) {
  // A socket passes the regular-file bit test but cannot be opened as a stream,
  // even by root.
  TempDir dir;
  const std::string socketPath = dir / "sock";
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  ASSERT_EQ(isord(socketPath.c_str()), 1);
  EXPECT_EQ(CopyFile(socketPath.c_str(), (dir / "dst").c_str()), 0);
  EXPECT_TRUE(PathExists(dir / "dst"));
  EXPECT_EQ(ReadFile(dir / "dst"), "");
  ::close(fd);
}

TEST(DirectoryAndMode, ReportTheSystemsErrno) {
  TempDir dir;
  EXPECT_EQ(MakeDirectory((dir / "new").c_str(), 0755), 0);
  EXPECT_TRUE(fs::is_directory(dir / "new"));
  EXPECT_EQ(MakeDirectory((dir / "new").c_str(), 0755), EEXIST);
  EXPECT_EQ(MakeDirectory((dir / "a/b").c_str(), 0755), ENOENT);

  WriteFile(dir / "file", "x");
  EXPECT_EQ(SetMode((dir / "file").c_str(), 0700), 0);
  EXPECT_EQ(fs::status(dir / "file").permissions(), fs::perms::owner_all);
  EXPECT_EQ(SetMode((dir / "missing").c_str(), 0700), ENOENT);
}

}  // namespace
}  // namespace upd
