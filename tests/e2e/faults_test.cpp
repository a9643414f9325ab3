// Faults of the instrument during a run, simulated by update-sim from the plan in
// DIR/sim/faults: a failing medium, a full disk, calls that fail, an unmount that
// fails, and a power cut at every step of an install.
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim_runner.h"
#include "support/digests.h"

namespace upd::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char kDest[] = "/home/Corvenal/bin/corvenal";
constexpr const char kBackup[] = "/home/Corvenal/bin/corvenal.bak";
constexpr const char kInterim[] = "/home/Corvenal/download/app.new";
constexpr const char kSettings[] = "/home/Corvenal/bin/Unit.cfg";
constexpr const char kSettingsBackup[] = "/home/Corvenal/bin/Unit.cfg.bak";
constexpr const char kOld[] = "#!/bin/sh\n# main application, old build\n";
constexpr const char kOlder[] = "#!/bin/sh\n# main application, older build\n";
constexpr const char kOldSettings[] = "V1\nGain 10\n";

// Bytes that differ from block to block, so that a cut-off copy shows.
std::string NewBuild() {
  std::string content = "#!/bin/sh\n# main application, new build\n";
  for (int i = 0; content.size() < 20000; ++i) content += std::to_string(i) + '\n';
  return content;
}

// What one instrument path holds, briefly: "missing", "old", "older", "new",
// "new:N" for the new build's first N bytes, else the text itself.
using Content = std::string;

// A fresh instrument with an old build (and an older backup) installed and a
// medium that installs a new build and merges the settings.
class Rig {
 public:
  Rig() : medium_(sim_.Medium()), new_(NewBuild()) {
    test::WriteFile(Host(kDest), kOld);
    test::WriteFile(Host(kBackup), kOlder);
    test::WriteFile(Host(kSettings), kOldSettings);
    test::WriteFile(medium_ + "/firmware/app", new_);
    test::WriteFile(medium_ + "/firmware/Unit.cfg", "V2\nGain 1\nRange 2\n");
    Manifest("Install");
  }

  /// A manifest whose sequence is `sequence`, of the sections Install and Settings.
  void Manifest(const std::string& sequence) const {
    test::WriteFile(
        medium_ + "/firmware/AuxInfo.txt",
        "SectionList\nSequence = " + sequence +
            "\nInstall\nOperation = TransferFile\nSrcDir = /mnt/firmware\nSrcFile = app\n"
            "InterimDir = /home/Corvenal/download\nInterimFile = app.new\n"
            "DestDir = /home/Corvenal/bin\nDestFile = corvenal\n"
            "BackupDir = /home/Corvenal/bin\nBackupFile = corvenal.bak\n"
            "MD5Hash = " +
            test::Md5Hex(new_) + "\nSHA256Hash = " + test::Sha256Hex(new_) +
            "\nSettings\nOperation = ConfigUpdate\nSrcDir = /mnt/firmware\nSrcFile = Unit.cfg\n"
            "DestDir = /home/Corvenal/bin\nDestFile = Unit.cfg\n"
            "BackupDir = /home/Corvenal/bin\nBackupFile = Unit.cfg.bak\n");
  }

  /// Plugs the medium and runs the updater with `plan` as the fault plan.
  Outcome RunWith(const std::string& plan) const {
    test::WriteFile(Host("/sim/faults"), plan);
    if (Sim({"plug", sim_.dir(), medium_}).status != 0) return Outcome{-1, "", "plug failed"};
    return sim_.Run({});
  }

  [[nodiscard]] std::string Host(const std::string& path) const { return sim_.Host(path); }
  [[nodiscard]] Content At(const std::string& path) const {
    if (!fs::exists(Host(path))) return "missing";
    const std::string text = test::ReadFile(Host(path));
    if (text == kOld) return "old";
    if (text == kOlder) return "older";
    if (text == new_) return "new";
    if (!text.empty() && new_.compare(0, text.size(), text) == 0) {
      return "new:" + std::to_string(text.size());
    }
    return text;
  }
  [[nodiscard]] std::string Log() const {
    return test::ReadFile(Host("/home/Corvenal/log/UpdateErrorLog.txt"));
  }
  [[nodiscard]] bool Executable(const std::string& path) const {
    struct stat st {};
    return ::stat(Host(path).c_str(), &st) == 0 && (st.st_mode & 07777) == 0755;
  }
  [[nodiscard]] std::vector<std::string> Tail(std::size_t lines) const {
    const auto all = sim_.Timeline();
    return {all.end() - static_cast<std::ptrdiff_t>(std::min(lines, all.size())), all.end()};
  }

  Instrument sim_;

 private:
  std::string medium_;
  std::string new_;
};

TEST(Faults, InstallFaultsStopWithTheirCodeAndTheDocumentedFiles) {
  struct Case {
    const char* plan;
    int code;
    Content dest, backup, interim;
    bool executable;  // the new build at the destination has mode 0755
  };
  const std::vector<Case> cases = {
      {"mkdir /home/Corvenal/download EROFS", 648, "old", "older", "missing", false},
      {"write /home/Corvenal/download/app.new ENOSPC 4096", 658, "old", "older", "new:4096", false},
      {"read /mnt/firmware/app EIO 6144", 658, "old", "older", "new:6144", false},
      {"unlink /home/Corvenal/bin/corvenal.bak EBUSY", 653, "old", "older", "new", false},
      {"link /home/Corvenal/bin/corvenal EPERM\nrename /home/Corvenal/bin/corvenal EACCES", 654,
       "old", "missing", "new", false},
      {"rename /home/Corvenal/download/app.new EXDEV", 655, "old", "old", "new", false},
      {"chmod /home/Corvenal/download/app.new EPERM", 620, "old", "older", "new", false},
      {"link /home/Corvenal/bin/corvenal EPERM", 0, "new", "old", "missing", true},
      {"umount /mnt EBUSY", 0, "new", "old", "missing", true},  // only at the end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plan);
    Rig fresh;
    const Outcome run = fresh.RunWith(c.plan);
    EXPECT_EQ(run.status, c.code == 0 ? 0 : 1) << run.err;
    EXPECT_EQ(fresh.Log(), c.code == 0 ? "" : "1902 " + std::to_string(c.code) + "\n");
    EXPECT_EQ(fresh.At(kDest), c.dest);
    EXPECT_EQ(fresh.At(kBackup), c.backup);
    EXPECT_EQ(fresh.At(kInterim), c.interim);
    if (c.dest == "new") {
      EXPECT_EQ(fresh.Executable(kDest), c.executable);
    }
    // A stopped run leaves the medium mounted, and so does an unmount that fails.
    const bool mounted = c.code != 0 || std::string_view(c.plan).starts_with("umount");
    EXPECT_EQ(fs::exists(fresh.Host("/sim/mount")), mounted);
  }
}

TEST(Faults, SettingsFaultsStopWithTheirCodeAndTheDocumentedFiles) {
  struct Case {
    const char* plan;
    int code;
    Content dest, backup;
  };
  const std::vector<Case> cases = {
      {"rename /home/Corvenal/bin/Unit.cfg EBUSY", 629, kOldSettings, "missing"},
      {"create /home/Corvenal/bin/Unit.cfg EROFS", 625, "missing", kOldSettings},
      {"write /home/Corvenal/bin/Unit.cfg ENOSPC 3", 622, "V2\n", kOldSettings},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plan);
    Rig fresh;
    fresh.Manifest("Settings");
    test::WriteFile(fresh.Host(kSettingsBackup), "earlier backup\n");
    EXPECT_EQ(fresh.RunWith(c.plan).status, 1);
    EXPECT_EQ(fresh.Log(), "1902 " + std::to_string(c.code) + "\n");
    EXPECT_EQ(fresh.At(kSettings), c.dest);
    EXPECT_EQ(fresh.At(kSettingsBackup), c.backup);
  }
}

TEST(Faults, UnreadableManifestAbortsWith610AndAFailedUnmountGoesOn) {
  Rig rig;
  EXPECT_EQ(rig.RunWith("read /mnt/firmware/AuxInfo.txt EIO 12\n").status, 1);
  EXPECT_EQ(rig.Log(), "1902 610\n");
  EXPECT_EQ(rig.At(kDest), "old");
  EXPECT_THAT(rig.Tail(3), ElementsAre("umount /mnt -> 0", "display Error updating firmware: 610",
                                       "main-application started"));

  // 661 is kept to the run: not shown, not logged; the run ends as usual.
  fs::remove(rig.Host("/home/Corvenal/log/UpdateErrorLog.txt"));
  EXPECT_EQ(rig.RunWith("umount /mnt EBUSY\n").status, 0);
  EXPECT_EQ(rig.Log(), "");
  EXPECT_THAT(rig.Tail(5), ElementsAre("umount /mnt -> EBUSY", "display Please remove USB device.",
                                       "unplug /dev/disk/by-label/CORVENAL", "sleep 1",
                                       "main-application started"));

  const Outcome bad = rig.RunWith("rename /home/Corvenal/bin/corvenal NOSUCHERROR\n");
  EXPECT_EQ(bad.status, 2);
  EXPECT_THAT(bad.err, HasSubstr("sim/faults line 1: 'NOSUCHERROR' is no errno name"));
}

TEST(Faults, PowerCutAtAnyStepKeepsAWholeFileAndASecondRunFinishes) {
  std::set<Content> interims;
  unsigned long cut = 1;
  for (;; ++cut) {
    SCOPED_TRACE("power cut before change " + std::to_string(cut));
    Rig fresh;
    const Outcome first = fresh.RunWith("cut " + std::to_string(cut) + "\n");
    if (first.status == 0) break;  // the run made fewer changes: every step has been cut
    ASSERT_NE(first.status, 1) << first.out << first.err;

    // The old or the new build, whole and executable, at the destination; the
    // old one at the backup path once the older backup is gone.
    const Content dest = fresh.At(kDest);
    EXPECT_TRUE(dest == "old" || dest == "new") << "destination " << dest;
    EXPECT_TRUE(dest == "old" || fresh.Executable(kDest));
    const Content backup = fresh.At(kBackup);
    EXPECT_TRUE(backup == "older" || backup == "old" || (backup == "missing" && dest == "old"))
        << "backup " << backup;
    interims.insert(fresh.At(kInterim));

    EXPECT_EQ(fresh.RunWith("").status, 0) << fresh.Log();
    EXPECT_EQ(fresh.At(kDest), "new");
    EXPECT_TRUE(fresh.Executable(kDest));
    if (dest == "old") {
      EXPECT_EQ(fresh.At(kBackup), "old");
    }
  }
  EXPECT_GT(cut, 6U) << "the install's steps were never cut";
  // A cut loses what was written since the last sync: the copy is empty until
  // the sync that ends it, and whole from then on.
  EXPECT_THAT(interims, ElementsAre("", "missing", "new"));
}

}  // namespace
}  // namespace upd::e2e
