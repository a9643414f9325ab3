// update-sim run --screens: the display drawn as PNG files, the timeline as without.
#include <cstdlib>
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

bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

// Width and height from a PNG's header chunk, which follows the 8-byte signature.
std::pair<unsigned, unsigned> PngSize(const std::string& path) {
  const std::string bytes = test::ReadFile(path);
  if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0 || bytes.compare(12, 4, "IHDR") != 0) {
    return {0, 0};
  }
  const auto word = [&bytes](std::size_t at) {
    unsigned value = 0;
    for (std::size_t i = at; i < at + 4; ++i)
      value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
  };
  return {word(16), word(20)};
}

TEST(Screens, EveryMessageIsDrawnOnTheSplashImageAndTheTimelineStaysAsItIs) {
  if (!Shell("convert -version >/dev/null 2>&1")) {
    GTEST_SKIP() << "ImageMagick's convert is not installed (apt-get install imagemagick)";
  }
  // A step whose source is missing: start, error message, nothing after it.
  const std::string manifest =
      "SectionList\nSequence = Install\nInstall\nOperation = TransferFile\n"
      "SrcDir = /mnt/firmware\nSrcFile = app\nInterimDir = /home/Corvenal/download\n"
      "InterimFile = app.new\nDestDir = /home/Corvenal/bin\nDestFile = app\n"
      "BackupDir = /home/Corvenal/bin\nBackupFile = app.bak\n";
  Instrument plain;
  Instrument drawn;
  const std::string red = drawn.Host("/home/Corvenal/bin/CorvenalSplash.png");
  ASSERT_TRUE(Shell("convert -size 100x50 xc:red " + sim::ShellQuote(red)));
  for (const Instrument* sim : {&plain, &drawn}) {
    const std::string medium = sim->Medium();
    test::WriteFile(medium + "/firmware/AuxInfo.txt", manifest);
    ASSERT_EQ(Sim({"plug", sim->dir(), medium}).status, 0);
  }
  EXPECT_EQ(Sim({"run", plain.dir(), "--", "-t", "2026-06-15 09:30:00"}).status, 1);
  EXPECT_EQ(Sim({"run", drawn.dir(), "--screens", "--", "-t", "2026-06-15 09:30:00"}).status, 1);

  EXPECT_EQ(drawn.Timeline(), plain.Timeline());
  EXPECT_THAT(drawn.Timeline(), ::testing::Contains("display Error updating firmware: 651"));
  const std::string screens = drawn.dir() + "/sim/screens/";
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(screens))
    files.push_back(entry.path().filename());
  EXPECT_THAT(files, ::testing::UnorderedElementsAre("001.png", "002.png"));
  for (const std::string& file : files) {
    EXPECT_EQ(PngSize(screens + file), std::make_pair(480U, 272U)) << file;
  }
  // The corner shows the splash image, scaled to the screen.
  test::TempDir out;
  ASSERT_TRUE(Shell("convert " + sim::ShellQuote(screens + "002.png") +
                    " -format '%[fx:int(255*p{2,2}.r)] %[fx:int(255*p{477,269}.g)]' info: > " +
                    sim::ShellQuote(out / "corner")));
  EXPECT_EQ(test::ReadFile(out / "corner"), "255 0");
}

}  // namespace
}  // namespace upd::e2e
