// The sample medium, with all seven operations, under every fault a run can
// meet: a power cut before each change, a full disk on each file a step
// writes, a read error on each file a step reads. After each, the main
// application and the settings are whole, old or new, and a second run of the
// same medium without the fault leaves exactly what one clean run leaves.
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim_runner.h"

namespace upd::e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char kSample[] = UPD_SOURCE_DIR "/examples/medium";
constexpr const char kApp[] = "/home/Corvenal/bin/corvenal";
constexpr const char kSettings[] = "/home/Corvenal/bin/Corvenal.cfg";
constexpr const char kOldApp[] = "#!/bin/sh\n# main application 2.2\n";
constexpr const char kOldSettings[] =
    "V2.2\nLanguage German\nDisplay.Brightness 55\nMeasure.Range 20V\nNetwork.Hostname bench-07\n";

// Every file and folder of the instrument with its mode and content, the
// simulation's own records and the error log (which keeps the last code) aside.
using Snapshot = std::map<std::string, std::string>;

// An instrument in the field running build 2.2, and the sample medium.
class Field {
 public:
  Field() : medium_(sim_.Medium()) {
    fs::copy(kSample, medium_, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    test::WriteFile(sim_.Host(kApp), kOldApp);
    test::WriteFile(sim_.Host(kSettings), kOldSettings);
    test::WriteFile(sim_.Host("/home/Corvenal/bin/legacy-calibration"), "calibration 2.2\n");
    test::WriteFile(sim_.Host("/home/Corvenal/log/update-2.2.log"), "update 2.2 done\n");
  }

  Outcome Run(const std::string& plan) const {
    test::WriteFile(sim_.Host("/sim/faults"), plan);
    if (Sim({"plug", sim_.dir(), medium_}).status != 0) return Outcome{-1, "", "plug failed"};
    return sim_.Run({"-t", "2026-06-15 09:30:00"});
  }

  [[nodiscard]] std::string At(const std::string& path) const {
    return fs::exists(sim_.Host(path)) ? test::ReadFile(sim_.Host(path)) : "missing";
  }

  [[nodiscard]] Snapshot Take() const {
    Snapshot snapshot;
    for (const char* top : {"/home", "/sbin"}) {
      for (const auto& entry : fs::recursive_directory_iterator(sim_.Host(top))) {
        const std::string path = entry.path().string().substr(sim_.dir().size());
        if (path == "/home/Corvenal/log/UpdateErrorLog.txt") continue;
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        std::string& value = snapshot[path];
        value = std::to_string(st.st_mode & 0170777);
        if (entry.is_regular_file()) value += ' ' + test::ReadFile(entry.path());
      }
    }
    return snapshot;
  }

  [[nodiscard]] bool Executable(const std::string& path) const {
    struct stat st {};
    return ::stat(sim_.Host(path).c_str(), &st) == 0 && (st.st_mode & 07777) == 0755;
  }

 private:
  Instrument sim_;
  std::string medium_;
};

// What one clean run leaves, with the new main application and the merged settings.
struct Clean {
  Snapshot after;
  std::string app;
  std::string settings;
};

const Clean& CleanRun() {
  static const Clean clean = [] {
    Field field;
    EXPECT_EQ(field.Run("").status, 0);
    return Clean{field.Take(), field.At(kApp), field.At(kSettings)};
  }();
  return clean;
}

// Runs the sample medium with `plan`, checks what the fault left, then runs it
// again without the fault. Returns the status of the faulted run.
int FaultThenFinish(const std::string& plan) {
  SCOPED_TRACE(plan);
  const Clean& clean = CleanRun();
  Field field;
  const int status = field.Run(plan).status;
  const std::string app = field.At(kApp);
  EXPECT_TRUE(app == kOldApp || (app == clean.app && field.Executable(kApp)))
      << "main application: " << app;
  const std::string settings = field.At(kSettings);
  EXPECT_TRUE(settings == kOldSettings || settings == clean.settings) << "settings: " << settings;

  const Outcome second = field.Run("");
  EXPECT_EQ(second.status, 0) << second.out << second.err;
  const Snapshot after = field.Take();
  for (const auto& [path, value] : clean.after) {
    const auto found = after.find(path);
    EXPECT_TRUE(found != after.end() && found->second == value)
        << path << " after the second run: "
        << (found == after.end() ? std::string("missing") : found->second);
  }
  for (const auto& [path, value] : after) {
    EXPECT_TRUE(clean.after.contains(path)) << path << " left behind";
  }
  return status;
}

TEST(SampleMedium, PowerCutBeforeAnyChange) {
  unsigned long cut = 1;
  for (; FaultThenFinish("cut " + std::to_string(cut) + "\n") != 0; ++cut) {
  }
  EXPECT_GT(cut, 10U) << "the run's changes were never cut";
}

TEST(SampleMedium, FullDiskOnEveryFileAStepWrites) {
  const std::string app = CleanRun().app;
  const std::string settings = CleanRun().settings;
  const std::map<std::string, std::size_t> written = {
      {"/home/Corvenal/download/corvenal.new", app.size()},
      {"/home/Corvenal/bin/Corvenal.cfg.new", settings.size()},
  };
  for (const auto& [path, size] : written) {
    for (const std::size_t after : {std::size_t{0}, std::size_t{1}, size / 2}) {
      EXPECT_EQ(FaultThenFinish("write " + path + " ENOSPC " + std::to_string(after) + "\n"), 1);
    }
  }
}

TEST(SampleMedium, ReadErrorOnEveryFileAStepReads) {
  // The installed main application is compared by size first, so it is never read.
  for (const char* path : {"/mnt/firmware/corvenal", "/home/Corvenal/download/corvenal.new",
                           "/mnt/firmware/Corvenal.cfg", kSettings}) {
    EXPECT_EQ(FaultThenFinish(std::string("read ") + path + " EIO 0\n"), 1);
  }
}

}  // namespace
}  // namespace upd::e2e
