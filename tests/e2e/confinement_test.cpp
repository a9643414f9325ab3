// A hostile medium against the simulated instrument: links on the medium or in
// the instrument's folder never lead out of them, and the stick is a file system
// of its own that holds neither links nor FIFOs, as on the instrument. Every case
// runs with the kernel's resolution and with the component walk.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim_runner.h"

namespace upd::e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char kInstalled[] = "V1\nGain 10\n";
constexpr const char kApp[] = "#!/bin/sh\n# main application, installed\n";
constexpr const char kNewApp[] = "new build\n";

std::string Merge(const std::string& src, const std::string& backupDir) {
  return "Operation = ConfigUpdate\nSrcDir = /mnt/firmware\nSrcFile = " + src +
         "\nDestDir = /home/Corvenal/bin\nDestFile = Corvenal.cfg\nBackupDir = " + backupDir +
         "\nBackupFile = Corvenal.cfg.bak\n";
}

class Confinement : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ::setenv("UPDATE_SIM_RESOLVE", GetParam(), 1);
    test::WriteFile(host_ / "v.txt", "host");
    test::WriteFile(medium_ + "/firmware/cfg", "V2\nGain 1\n");
    test::WriteFile(medium_ + "/firmware/app", kNewApp);
    test::WriteFile(sim_.Host("/home/Corvenal/bin/Corvenal.cfg"), kInstalled);
    test::WriteFile(sim_.Host("/home/Corvenal/bin/corvenal"), kApp);
    // Links that would lead onto the host: on the medium, in the instrument's
    // folder by the host's absolute path, and climbing out by "..".
    fs::create_directory_symlink(host_.path(), medium_ + "/firmware/logs");
    fs::create_symlink(host_ / "v.txt", medium_ + "/firmware/cfglink");
    fs::create_directory_symlink(host_.path(), sim_.Host("/home/Corvenal/abs"));
    fs::create_directory_symlink("../../../../../../../../../..", sim_.Host("/home/Corvenal/up"));
    ASSERT_EQ(::mkfifo((medium_ + "/firmware/fifo").c_str(), 0644), 0);
  }
  void TearDown() override { ::unsetenv("UPDATE_SIM_RESOLVE"); }

  Instrument sim_;
  const std::string& medium_ = sim_.medium();
  test::TempDir host_;
};

TEST_P(Confinement, NothingOutsideTheInstrumentOrTheMediumIsReached) {
  const std::string payload = "#!/bin/sh\necho ran > '" + host_.path() + "/ran'\n";
  test::WriteFile(medium_ + "/firmware/qsplash", payload);
  const struct {
    std::string step;
    int code;
  } cases[] = {
      // A dry run never starts a program that the medium put in the place of
      // one of the instrument's own: the stub that stands for it runs instead.
      {Transfer("qsplash", "qsplash", payload, "/home/Corvenal/bin"), 0},
      // The three files lie outside; on the instrument none of them exists, and
      // a missing file is no failure.
      {"Operation = RemoveFiles\nfile1 = /mnt/firmware/logs/v.txt\n"
       "file2 = /home/Corvenal/abs/v.txt\nfile3 = /home/Corvenal/up" +
           host_.path() + "/v.txt\n",
       0},
      // The backup folder lies behind a link that leads nowhere inside the instrument.
      {Merge("cfg", "/home/Corvenal/abs"), 629},
      // Neither a link nor a FIFO can be a file on a vfat stick: unreadable.
      {Merge("cfglink", "/home/Corvenal/bin"), 627},
      {Merge("fifo", "/home/Corvenal/bin"), 627},
      // The copy on the stick cannot be renamed across file systems into place.
      {Transfer("app", "corvenal", kNewApp, "/mnt/firmware"), 655},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    sim_.Plug(OneStep(c.step));
    const Outcome run = sim_.Run({});
    EXPECT_EQ(run.status, c.code == 0 ? 0 : 1) << run.err;
    EXPECT_EQ(sim_.Log(), Logged(c.code));
    // The stick stays mounted after a failed step: take it out for the next case.
    ASSERT_EQ(Sim({"unplug", sim_.dir()}).status, 0);
    fs::remove(sim_.Host("/sim/mount"));
  }
  EXPECT_EQ(test::ReadFile(host_ / "v.txt"), "host");
  EXPECT_EQ(std::distance(fs::directory_iterator(host_.path()), fs::directory_iterator()), 1);
  EXPECT_EQ(sim_.Read("/home/Corvenal/bin/Corvenal.cfg"), kInstalled);
  EXPECT_EQ(sim_.Read("/home/Corvenal/bin/corvenal"), kApp);
  EXPECT_EQ(sim_.Read("/home/Corvenal/bin/qsplash"), payload);
}

INSTANTIATE_TEST_SUITE_P(Resolution, Confinement, ::testing::Values("kernel", "walk"));

}  // namespace
}  // namespace upd::e2e
