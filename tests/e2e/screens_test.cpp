// update-sim run --screens: the display drawn as PNG files, the timeline as without.
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/sim_paths.h"
#include "sim_runner.h"

namespace upd::e2e {
namespace {

namespace fs = std::filesystem;

TEST(Screens, EveryMessageIsDrawnOnTheSplashImageAndTheTimelineStaysAsItIs) {
  if (Shell("convert -version").status != 0) {
    GTEST_SKIP() << "ImageMagick's convert is not installed (apt-get install imagemagick)";
  }
  Instrument plain;
  Instrument drawn;
  const std::string red = drawn.Host("/home/Corvenal/bin/CorvenalSplash.png");
  ASSERT_EQ(Shell("convert -size 100x50 xc:red " + sim::ShellQuote(red)).status, 0);
  for (const Instrument* sim : {&plain, &drawn}) {
    // A step whose source is missing: start, error message, nothing after it.
    sim->Plug(
        "SectionList\nSequence = Install\nInstall\nOperation = TransferFile\n"
        "SrcDir = /mnt/firmware\nSrcFile = app\nInterimDir = /home/Corvenal/download\n"
        "InterimFile = app.new\nDestDir = /home/Corvenal/bin\nDestFile = app\n"
        "BackupDir = /home/Corvenal/bin\nBackupFile = app.bak\n");
  }
  EXPECT_EQ(plain.Run({"-t", "2026-06-15 09:30:00"}).status, 1);
  EXPECT_EQ(drawn.Run({"-t", "2026-06-15 09:30:00"}, {"--screens"}).status, 1);
  EXPECT_EQ(drawn.Timeline(), plain.Timeline());
  EXPECT_THAT(drawn.Timeline(), ::testing::Contains("display Error updating firmware: 651"));
  const std::string screens = drawn.dir() + "/sim/screens/";
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(screens))
    files.push_back(entry.path().filename());
  EXPECT_THAT(files, ::testing::UnorderedElementsAre("001.png", "002.png"));
  for (const std::string& file : files) {
    EXPECT_EQ(Shell("identify -format '%m %w %h' " + sim::ShellQuote(screens + file)).out,
              "PNG 480 272")
        << file;
  }
  // The corner shows the splash image, scaled to the screen.
  const Outcome corner =
      Shell("convert " + sim::ShellQuote(screens + "002.png") +
            " -format '%[fx:int(255*p{2,2}.r)] %[fx:int(255*p{477,269}.g)]' info:");
  EXPECT_EQ(corner.out, "255 0");
}

}  // namespace
}  // namespace upd::e2e
