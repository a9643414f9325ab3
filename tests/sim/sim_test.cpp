#include <fcntl.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/instrument_paths.h"
#include "fileutil/fileops.h"
#include "sim/confined.h"
#include "sim/fault_plan.h"
#include "sim/screens.h"
#include "sim/sim_paths.h"
#include "support/sim_instrument.h"

namespace upd::sim {
namespace {

namespace fs = std::filesystem;
using test::WriteFile;
using ::testing::ElementsAre;

TEST(MapPath, KeepsEveryPathUnderTheRoot) {
  struct Case {
    const char* path;
    const char* mapped;
  };
  constexpr Case kCases[] = {{"/mnt/firmware/AuxInfo.txt", "/r/mnt/firmware/AuxInfo.txt"},
                             {"relative/file", "/r/relative/file"},
                             {"/", "/r"},
                             {"/a/./b//c", "/r/a/b/c"},
                             {"/a/../b", "/r/b"},
                             {"/../../etc/passwd", "/r/etc/passwd"},
                             {"../../x", "/r/x"},
                             {"/a/b/../../..", "/r"},
                             {"/home/Corvenal/download/", "/r/home/Corvenal/download/"},
                             {"", ""}};
  for (const Case& c : kCases) EXPECT_EQ(MapPath("/r", c.path), c.mapped) << c.path;
}

TEST(ResolveInRoot, NeverLeavesTheRootWithEitherWalk) {
  test::TempDir root;
  fs::create_directories(root / "a/b");
  WriteFile(root / "a/f", "");
  fs::create_directory_symlink("/a", root / "abs");
  fs::create_directory_symlink("a/b", root / "rel");
  fs::create_directory_symlink("../../..", root / "up");
  fs::create_symlink("loop", root / "loop");
  fs::create_symlink("/a/new", root / "dangling");
  const platform::UniqueFd rootFd(::open(root.path().c_str(), O_PATH | O_DIRECTORY));
  using platform::Follow;
  struct Case {
    const char* path;
    Follow last;
    Links links;
    const char* resolved;  // under the root, or the errno name
  };
  constexpr Case kCases[] = {{"/a/b/../f", Follow::kYes, Links::kInRoot, "/a/f"},
                             {"/../../a/f", Follow::kYes, Links::kInRoot, "/a/f"},
                             {"/abs/f", Follow::kYes, Links::kInRoot, "/a/f"},
                             {"/up/a/f", Follow::kYes, Links::kInRoot, "/a/f"},
                             {"/rel", Follow::kYes, Links::kInRoot, "/a/b"},
                             {"/rel", Follow::kNo, Links::kInRoot, "/rel"},
                             {"/rel/", Follow::kNo, Links::kInRoot, "/a/b"},
                             {"/dangling", Follow::kYes, Links::kInRoot, "/a/new"},
                             {"/loop", Follow::kYes, Links::kInRoot, "ELOOP"},
                             {"/a/f/", Follow::kYes, Links::kInRoot, "ENOTDIR"},
                             {"/", Follow::kYes, Links::kInRoot, "/."},
                             {"/abs/f", Follow::kYes, Links::kNone, "ELOOP"},
                             {"/rel", Follow::kYes, Links::kNone, "/rel"}};
  for (const Walk walk : {Walk::kKernel, Walk::kComponents}) {
    for (const Case& c : kCases) {
      const platform::HostPath host = ResolveInRoot(rootFd.get(), c.path, c.last, c.links, walk);
      std::string got = host.error != 0 ? ::strerrorname_np(host.error) : "";
      if (host.error == 0) {
        const fs::path dir = fs::read_symlink("/proc/self/fd/" + std::to_string(host.dir()));
        got = (dir / host.name).string().substr(root.path().size());
        EXPECT_TRUE(host.noFollow);
      }
      EXPECT_EQ(got, c.resolved) << c.path << (walk == Walk::kKernel ? " (kernel)" : " (walk)");
    }
  }
}

TEST(ShellQuote, PassesAnyTextAsOneWord) {
  EXPECT_EQ(ShellQuote("/tmp/a b"), "'/tmp/a b'");
  EXPECT_EQ(ShellQuote("it's"), "'it'\\''s'");
}

TEST(CaptionText, DrawsAnyTextAsItIs) {
  constexpr std::pair<const char*, const char*> kCases[] = {
      {"Error updating firmware: 651", "Error updating firmware: 651"},
      {"100% %w", "100%% %%w"},
      {"a\\nb", "a\\\\nb"},
      {"@/etc/passwd", "\\@/etc/passwd"},
      {"mail@host", "mail@host"}};
  for (const auto& [text, caption] : kCases) EXPECT_EQ(CaptionText(text), caption) << text;
}

class SimPlatformTest : public ::testing::Test {
 protected:
  test::SimulatedInstrument sim_;
};

// Its results and timeline lines are pinned end to end; here the medium seen
// through the mount.
TEST_F(SimPlatformTest, MountFollowsTheDeviceNodeAndOutlastsTheStick) {
  auto& p = sim_.platform();
  EXPECT_EQ(p.Mount(kDefaultDevice, kMountPoint, kMediumFsType, 8), ENOENT);
  const std::string medium = sim_.PlugMedium();
  WriteFile(medium + "/firmware/AuxInfo.txt", "SectionList\n");
  fs::remove(sim_.Host("/mnt"));
  WriteFile(sim_.Host("/mnt"), "");  // a mount point that is no folder
  EXPECT_EQ(p.Mount(kDefaultDevice, kMountPoint, kMediumFsType, 8), ENOENT);
  fs::remove(sim_.Host("/mnt"));
  fs::create_directory(sim_.Host("/mnt"));
  EXPECT_EQ(p.Mount(kDefaultDevice, kMountPoint, kMediumFsType, 8), 0);
  sim_.instrument().Unplug();
  EXPECT_EQ(exists(kDefaultDevice), 0);
  EXPECT_EQ(exists("/mnt/firmware/AuxInfo.txt"), 1);  // still mounted
  EXPECT_EQ(p.Unmount(kMountPoint), 0);
  EXPECT_EQ(exists("/mnt/firmware/AuxInfo.txt"), 0);
  EXPECT_TRUE(fs::is_directory(sim_.Host("/mnt")) && fs::is_empty(sim_.Host("/mnt")));
  EXPECT_TRUE(fs::exists(medium + "/firmware/AuxInfo.txt"));
}

TEST_F(SimPlatformTest, PluggingAgainReplacesTheStick) {
  const std::string first = sim_.Scratch("first");
  const std::string second = sim_.Scratch("second");
  fs::create_directories(first);
  fs::create_directories(second);
  ASSERT_EQ(sim_.instrument().Plug(first, 1, kDefaultDevice), "");
  ASSERT_EQ(sim_.instrument().Plug(second, 4, "/dev/sdb1"), "");
  EXPECT_EQ(exists(kUsbPresencePaths[0]), 0);
  EXPECT_EQ(exists(kDefaultDevice), 0);
  EXPECT_EQ(exists(kUsbPresencePaths[3]), 1);
  EXPECT_EQ(sim_.instrument().PluggedStick()->medium, second);
}

// Recorded commands and exit codes are pinned end to end; here where a command
// that is run starts, and how a signal shows.
TEST_F(SimPlatformTest, ManifestCommandsRunInTheInstrument) {
  constexpr auto kManifest = platform::CommandKind::kManifest;
  const std::string inRoot = "test \"$UPDATE_SIM_ROOT\" = \"$PWD\" && touch made-here";
  SimPlatform running(sim_.instrument(), CommandMode::kRun);
  EXPECT_EQ(running.RunCommand(kManifest, inRoot.c_str()), 0);
  EXPECT_TRUE(fs::exists(sim_.Host("made-here")));
  running.RunCommand(kManifest, "kill -9 $$");
  EXPECT_THAT(sim_.Timeline(),
              ElementsAre("command " + inRoot + " -> 0", "command kill -9 $$ -> signal 9"));
}

TEST_F(SimPlatformTest, APowerCutLeavesWhatWasSyncedAndTheNamesAsMade) {
  WriteFile(sim_.Host("/synced"), "old");
  WriteFile(sim_.Host("/log"), "line 1\n");
  WriteFile(sim_.Host("/lost"), "old");
  FaultPlan plan;
  plan.faults.push_back({FaultCall::kWrite, "/wrapped", ENOSPC, 4096});
  plan.cutBefore = 1000;
  const auto write = [](const char* path, const char* mode, bool sync) {
    const FilePtr file(OpenFile(path, mode));
    if (!file || std::fputs("new\n", file.get()) < 0) std::abort();
    if (sync && SyncFile(file.get()) == 0) std::abort();
  };
  EXPECT_EXIT(
      {
        SimPlatform cut(sim_.instrument(), CommandMode::kRecord, plan);
        const platform::ScopedPlatform installed(cut);
        write("/synced", "w", true);
        write("/wrapped", "w", true);  // a stream without a descriptor of its own
        write("/log", "a", false);
        write("/log", "w", false);  // the file's first descriptor appends
        write("/lost", "w", false);
        write("/fresh", "w", false);
        if (Rename("/fresh", "/renamed") != kRenameOk) std::abort();
        for (;;) (void)MakeDirectory("/d", 0755);  // until the power fails
      },
      ::testing::KilledBySignal(SIGKILL), "");
  constexpr std::pair<const char*, const char*> kLeft[] = {
      {"/synced", "new\n"}, {"/wrapped", "new\n"}, {"/log", "line 1\n"},
      {"/lost", "old"},     {"/renamed", ""},
  };
  for (const auto& [path, content] : kLeft) {
    EXPECT_EQ(test::ReadFile(sim_.Host(path)), content) << path;
  }
  EXPECT_FALSE(fs::exists(sim_.Host("/fresh")));
  EXPECT_TRUE(fs::is_directory(sim_.Host("/d")));
}

}  // namespace
}  // namespace upd::sim
