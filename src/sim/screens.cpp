#include "sim/screens.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/instrument_paths.h"
#include "sim/instrument.h"

extern char** environ;

namespace upd::sim {

namespace fs = std::filesystem;

namespace {

constexpr const char kConvert[] = "convert";
constexpr const char kScreensDir[] = "/sim/screens";
// What the instrument's framebuffer shows text in; Debian's fonts-dejavu-core.
constexpr const char kFont[] = "DejaVu-Sans";
constexpr const char kTextSize[] = "24";
constexpr int kTextMargin = 20;

// Runs convert with `args` (no shell, so nothing is quoted), its output
// discarded, and waits. true when it exited with 0.
bool RunConvert(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(kConvert));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (::posix_spawn_file_actions_init(&actions) != 0) return false;
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::fflush(nullptr);
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, kConvert, &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (::waitpid(child, &status, 0) == -1) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string Size(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

std::string CaptionText(std::string_view text) {
  std::string caption;
  if (!text.empty() && text.front() == '@') caption += '\\';
  for (const char c : text) {
    if (c == '\\' || c == '%') caption += c;
    caption += c;
  }
  return caption;
}

std::string ScreenRenderer::Unavailable() {
  if (RunConvert({"-version"})) return {};
  return "--screens needs ImageMagick's convert (Debian: apt-get install imagemagick "
         "fonts-dejavu-core)";
}

ScreenRenderer::ScreenRenderer(const Instrument& instrument) : root_(instrument.root()) {}

std::string ScreenRenderer::Start() {
  const std::string dir = root_ + kScreensDir;
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  next_ = 1;
  return ec ? "cannot make " + dir + ": " + ec.message() : std::string();
}

bool ScreenRenderer::Render(std::string_view text) {
  char name[16] = {};
  std::snprintf(name, sizeof name, "%03d.png", next_++);
  const std::string out = root_ + kScreensDir + "/" + name;
  const std::string screen = Size(kScreenWidth, kScreenHeight);
  const std::string splash = root_ + kSplashImage;

  std::vector<std::string> args;
  std::error_code ec;
  if (fs::is_regular_file(splash, ec)) {
    args = {splash, "-resize", screen + "!", "-background", "black", "-flatten"};
  } else {
    args = {"-size", screen, "xc:black"};
  }
  // The text, wrapped, on a dark band with a margin above and below it.
  const std::string band = std::to_string(kScreenWidth - 2 * kTextMargin) + "x";
  args.insert(args.end(), {"(", "-size", band, "-background", "none", "-fill", "white"});
  args.insert(args.end(), {"-font", kFont, "-pointsize", kTextSize, "-gravity", "center"});
  args.insert(args.end(), {"caption:" + CaptionText(text), "-bordercolor", "none", "-border"});
  args.insert(args.end(), {"0x10", "-background", "#000000a0", "-flatten", ")"});
  args.insert(args.end(), {"-gravity", "center", "-composite", "-strip", "-depth", "8"});
  args.push_back("png:" + out);
  if (RunConvert(args)) return true;
  std::fprintf(stderr, "update-sim: screen %s ('%.*s') could not be drawn with convert\n", name,
               static_cast<int>(text.size()), text.data());
  return false;
}

}  // namespace upd::sim
