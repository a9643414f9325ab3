// Faults of the instrument during a run, simulated by update-sim from the plan in
// DIR/sim/faults: a failing medium, a full disk, calls that fail, an unmount that
// fails, and a power cut at every step of an install.
#include <sys/stat.h>

#include <filesystem>
#include <functional>
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
constexpr const char kSettingsTemp[] = "/home/Corvenal/bin/Unit.cfg.new";
constexpr const char kOld[] = "#!/bin/sh\n# main application, old build\n";
constexpr const char kOlder[] = "#!/bin/sh\n# main application, older build\n";
constexpr const char kOldSettings[] = "V1\nGain 10\n";
constexpr const char kNewSettings[] = "V2\nGain 10\nRange 2\nZero 3\n";  // the merge
constexpr const char kEarlierSettings[] = "earlier backup\n";

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
    test::WriteFile(medium_ + "/firmware/Unit.cfg", "V2\nGain 1\nRange 2\nZero 3\n");
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
      // Without links the backup is a copy; when that fails, the destination stays.
      {"link /home/Corvenal/bin/corvenal EPERM\nwrite /home/Corvenal/bin/corvenal.bak ENOSPC 10",
       654, "old", "missing", "new", false},
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

TEST(Faults, SettingsFaultsKeepTheSettingsAndTheNextRunFinishes) {
  struct Case {
    const char* plan;
    int code;
    Content dest, backup;
  };
  const std::vector<Case> cases = {
      // The installed file is never written in place.
      {"write /home/Corvenal/bin/Unit.cfg ENOSPC 20", 0, kNewSettings, kOldSettings},
      {"write /home/Corvenal/bin/Unit.cfg.new ENOSPC 20", 622, kOldSettings, "missing"},
      {"create /home/Corvenal/bin/Unit.cfg.new EROFS", 625, kOldSettings, "missing"},
      {"unlink /home/Corvenal/bin/Unit.cfg.bak EBUSY", 628, kOldSettings, kEarlierSettings},
      {"link /home/Corvenal/bin/Unit.cfg EIO", 629, kOldSettings, "missing"},
      {"link /home/Corvenal/bin/Unit.cfg EPERM\nwrite /home/Corvenal/bin/Unit.cfg.bak ENOSPC 3",
       629, kOldSettings, "missing"},
      {"rename /home/Corvenal/bin/Unit.cfg.new EXDEV", 625, kOldSettings, kOldSettings},
      {"link /home/Corvenal/bin/Unit.cfg EPERM", 0, kNewSettings, kOldSettings},
      {"", 0, kNewSettings, kOldSettings},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plan);
    Rig fresh;
    fresh.Manifest("Settings");
    test::WriteFile(fresh.Host(kSettingsBackup), kEarlierSettings);
    EXPECT_EQ(fresh.RunWith(c.plan).status, c.code == 0 ? 0 : 1);
    EXPECT_EQ(fresh.Log(), c.code == 0 ? "" : "1902 " + std::to_string(c.code) + "\n");
    EXPECT_EQ(fresh.At(kSettings), c.dest);
    EXPECT_EQ(fresh.At(kSettingsBackup), c.backup);
    EXPECT_EQ(fresh.At(kSettingsTemp), "missing");
    // The next run finishes the job, or, after a merge, changes nothing: the
    // backup keeps the settings from before it.
    EXPECT_EQ(fresh.RunWith("").status, 0);
    EXPECT_EQ(fresh.At(kSettings), kNewSettings);
    EXPECT_EQ(fresh.At(kSettingsBackup), kOldSettings);
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

// Cuts the power before the 1st, 2nd, ... change of a run on a fresh rig that
// `prepare` has set up, with the further faults of `plan`, until a run makes
// fewer changes and ends by itself. After each cut `afterCut` looks at what is
// left; then a run without faults must finish the job, and `afterSecondRun`
// looks at that. Returns the number of cuts made.
unsigned long CutBeforeEveryChange(const std::function<void(Rig&)>& prepare,
                                   const std::string& plan,
                                   const std::function<void(const Rig&)>& afterCut,
                                   const std::function<void(const Rig&)>& afterSecondRun) {
  unsigned long cut = 1;
  for (;; ++cut) {
    SCOPED_TRACE("power cut before change " + std::to_string(cut));
    Rig fresh;
    prepare(fresh);
    const Outcome first = fresh.RunWith(plan + "cut " + std::to_string(cut) + "\n");
    if (first.status == 0) break;  // the run made fewer changes: every step has been cut
    EXPECT_NE(first.status, 1) << first.out << first.err;
    if (first.status == 1) break;
    afterCut(fresh);
    EXPECT_EQ(fresh.RunWith("").status, 0) << fresh.Log();
    afterSecondRun(fresh);
  }
  return cut - 1;
}

TEST(Faults, PowerCutAtAnyStepOfAnInstallKeepsAWholeFileAndASecondRunFinishes) {
  for (const bool links : {true, false}) {
    SCOPED_TRACE(links ? "with hard links" : "without hard links");
    std::set<Content> interims;
    Content dest;
    const unsigned long cuts = CutBeforeEveryChange(
        [](Rig&) {}, links ? "" : "link /home/Corvenal/bin/corvenal EPERM\n",
        [&](const Rig& rig) {
          // The old or the new build, whole and executable, at the destination;
          // the old one at the backup path once the older backup is gone
          // (without links, a copy that the cut caught before its sync is empty).
          dest = rig.At(kDest);
          EXPECT_TRUE(dest == "old" || dest == "new") << "destination " << dest;
          EXPECT_TRUE(dest == "old" || rig.Executable(kDest));
          const Content backup = rig.At(kBackup);
          EXPECT_TRUE(backup == "older" || backup == "old" ||
                      (dest == "old" && (backup == "missing" || (backup.empty() && !links))))
              << "backup " << backup;
          interims.insert(rig.At(kInterim));
        },
        [&](const Rig& rig) {
          EXPECT_EQ(rig.At(kDest), "new");
          EXPECT_TRUE(rig.Executable(kDest));
          if (dest == "old") {
            EXPECT_EQ(rig.At(kBackup), "old");
          }
        });
    EXPECT_GT(cuts, 6U) << "the install's steps were never cut";
    // A cut loses what was written since the last sync: the copy is empty until
    // the sync that ends it, and whole from then on.
    EXPECT_THAT(interims, ElementsAre("", "missing", "new"));
  }
}

TEST(Faults, PowerCutAtAnyStepOfAMergeKeepsWholeSettingsAndASecondRunFinishes) {
  std::set<Content> settings;
  const unsigned long cuts = CutBeforeEveryChange(
      [](Rig& rig) {
        rig.Manifest("Settings");
        test::WriteFile(rig.Host(kSettingsBackup), kEarlierSettings);
      },
      "",
      [&](const Rig& rig) {
        settings.insert(rig.At(kSettings));
        const Content backup = rig.At(kSettingsBackup);
        EXPECT_TRUE(backup == kEarlierSettings || backup == "missing" || backup == kOldSettings)
            << "backup " << backup;
      },
      // What one run without a cut leaves.
      [](const Rig& rig) {
        EXPECT_EQ(rig.At(kSettings), kNewSettings);
        EXPECT_EQ(rig.At(kSettingsBackup), kOldSettings);
        EXPECT_EQ(rig.At(kSettingsTemp), "missing");
      });
  EXPECT_GT(cuts, 4U) << "the merge's steps were never cut";
  // The old or the merged settings, whole, at every cut: never missing or partial.
  EXPECT_THAT(settings, ElementsAre(kOldSettings, kNewSettings));
}

}  // namespace
}  // namespace upd::e2e
