#include "diag/errlog.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "diag/diag_paths.h"
#include "diag/dpr.h"
#include "diag_fixture.h"
#include "support/fault_platform.h"

namespace upd {
namespace {

namespace fs = std::filesystem;
using test::kHeader;
using test::ReadFile;

constexpr std::size_t kBig = kErrorLogRotateSize + 1;
constexpr std::size_t kLine = sizeof kHeader - 1 + 5;  // kHeader + "line\n"

class ErrorLog : public test::DiagTest {
 protected:
  void Lines(int count) {
    for (int i = 0; i < count; ++i) Say(1, "line");
  }
  [[nodiscard]] std::string Drain(int echo = 0) {
    ::testing::internal::CaptureStdout();
    LogMessages(nullptr, echo);
    return ::testing::internal::GetCapturedStdout();
  }
  const std::string log = sim.Host(kDiagErrorLogPath);
  const std::string prev = sim.Host(kDiagErrorLogPrevPath);
};

TEST_F(ErrorLog, RotatesOnlyPast262144Bytes) {
  EXPECT_EQ(ErrorLogSizeCheck(), 0);  // nothing open yet
  test::WriteFile(log, std::string(kErrorLogRotateSize, 'a'));
  test::WriteFile(prev, "older");
  const std::lock_guard lock(diag::dprMutex);
  const auto write = [](const char* text) {
    std::fputs(text, diag::ErrorLogStream());
    std::fflush(diag::ErrorLogStream());
  };
  write("");
  EXPECT_EQ(ErrorLogSizeCheck(), 1);
  EXPECT_EQ(ReadFile(prev), "older");
  write("b");
  EXPECT_EQ(ErrorLogSizeCheck(), 1);
  EXPECT_EQ(ReadFile(prev), std::string(kErrorLogRotateSize, 'a') + "b");
  write("new");
  EXPECT_EQ(ReadFile(log), "new");
}

TEST_F(ErrorLog, EveryTwentyFifthLineRunsTheCheck) {
  test::WriteFile(log, std::string(kBig, 'a'));
  dpr_stat = DPR_ERRLOG;
  Lines(24);
  EXPECT_FALSE(fs::exists(prev));
  Lines(1);
  EXPECT_EQ(ReadFile(prev).size(), kBig + 25 * kLine);
  EXPECT_EQ(ReadFile(log), "");

  std::ofstream(log, std::ios::app) << std::string(kBig, 'b');
  Lines(24);
  EXPECT_EQ(ReadFile(prev).size(), kBig + 25 * kLine);
  Lines(1);
  EXPECT_EQ(ReadFile(prev).size(), kBig + 25 * kLine);
  EXPECT_EQ(ReadFile(prev)[0], 'b');
  EXPECT_EQ(ReadFile(log), "");
  EXPECT_EQ(dpr_stat, DPR_ERRLOG);
}

// Puts the previous log on another file system (renaming onto it fails with
// EXDEV); nothing is created there.
class OtherFileSystem final : public test::ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  [[nodiscard]] platform::HostPath Resolve(std::string_view path,
                                           platform::Follow last) const override {
    return path == kDiagErrorLogPrevPath ? platform::HostPath::Plain("/proc/self/Updateerrlogprev.txt")
                                         : inner_.Resolve(path, last);
  }
};

TEST_F(ErrorLog, AFailedRotationIsReportedOnceAndStopsTheCopies) {
  const std::string names =
      "Can't rename file \"/home/Tobrin/log/Updateerrlog.txt\" to "
      "\"/home/Tobrin/log/Updateerrlogprev.txt\"";
  const std::string cases[] = {
      names + " (EXDEV).\n",
      names + " (ENOENT).\n",
      names + ".  The file \"/home/Tobrin/log/Updateerrlog.txt\" does not exist.\n",
      "ErrorLogSizeCheck : \"RemoveFile\" failed",
  };
  OtherFileSystem otherFs(sim.platform());
  test::DivertedPlatform missingDir(sim.platform(), kDiagErrorLogPrevPath, [] { return true; });
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Reset();
    fs::remove_all(prev);
    test::WriteFile(log, std::string(kBig, 'a'));
    std::optional<platform::ScopedPlatform> installed;
    if (i < 2) installed.emplace(i == 0 ? static_cast<platform::Platform&>(otherFs) : missingDir);
    if (i == 3) fs::create_directories(prev);  // cannot be removed
    dpr_stat = DPR_ERRLOG;
    Lines(24);
    if (i == 2) fs::remove(log);
    ::testing::internal::CaptureStderr();
    Lines(26);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), cases[i]);
    EXPECT_EQ(dpr_stat, 0U);
    EXPECT_EQ(diag::ErrorLogCount(), 25U);
  }
  EXPECT_EQ(ReadFile(log).size(), kBig + 25 * kLine);  // the last one stayed unrotated
}

TEST_F(ErrorLog, CopiesEveryPrintedLevelButSixAndNeedsItsDirectory) {
  const std::string noFunc = "MAIN   :: probe.cpp      @   7 ::                  :: ";
  dpr_stat = DPR_ERRLOG | DPR_QUEUE;
  Say(5, "bare");
  Say(0, "zero");
  Say(3, "gated");
  Say(6, "queued");
  Say(1, "one", nullptr);
  dpr(1, nullptr, "probe.cpp", "Probe", 7, "no stream");
  EXPECT_EQ(LogText(),
            "bare" + std::string(kHeader) + "zero\n" + noFunc + "one\n" + kHeader + "no stream\n");

  Reset();
  fs::remove_all(sim.Host("/home/Tobrin/log"));
  dpr_stat = DPR_ERRLOG;
  Say(1, "still printed");
  EXPECT_EQ(dpr_stat, 0U);
  EXPECT_EQ(out.text(), "bare" + noFunc + "one\n" + kHeader + "still printed\n");
}

TEST_F(ErrorLog, LogMessagesWritesOutAndEmptiesTheQueue) {
  EXPECT_EQ(Drain(1), "\n");
  EXPECT_EQ(sim.Timeline().back(), "sync");

  dpr_stat = DPR_QUEUE;  // without DPR_ERRLOG the queue is only emptied
  Say(6, "lost");
  EXPECT_EQ(Drain(1), "\n");
  dpr_stat = DPR_QUEUE | DPR_ERRLOG;
  EXPECT_EQ(Drain(1), "\n");
  EXPECT_FALSE(fs::exists(log));

  for (const char* text : {"one", "two", "three"}) Say(6, text);
  const std::string h = kHeader;
  const std::string lines = h + "one\\n\n" + h + "two\\n\n" + h + "three\\n\n";
  EXPECT_EQ(Drain(1), "\n" + lines);
  EXPECT_EQ(LogText(), lines);

  // A queued line is cut at 1279 characters: 34 + function + 4 + message + 2.
  const std::string message(1023, 'm');
  Say(6, message.c_str(), std::string(216, 'f').c_str());
  Say(6, message.c_str(), std::string(217, 'f').c_str());
  EXPECT_EQ(Drain(), "\n");
  std::istringstream queued(LogText().substr(lines.size()));
  std::string fits, cut;
  std::getline(queued, fits);
  std::getline(queued, cut);
  EXPECT_EQ(fits.size(), 1279U);
  EXPECT_EQ(fits.substr(1270), "mmmmmmm\\n");
  EXPECT_EQ(cut.size(), 1279U);
  EXPECT_EQ(cut.substr(1270), "mmmmmmmm\\");
}

TEST_F(ErrorLog, DrainingWhileOthersQueueLosesAndRepeatsNothing) {
  dpr_stat = DPR_QUEUE | DPR_ERRLOG;
  std::vector<std::thread> printers;
  for (int t = 0; t < 4; ++t) {
    printers.emplace_back([this, t] {
      for (int i = 0; i < 200; ++i) Say(6, (std::to_string(t) + "/" + std::to_string(i)).c_str());
    });
  }
  for (int i = 0; i < 20; ++i) (void)Drain();
  for (std::thread& printer : printers) printer.join();
  (void)Drain();
  std::istringstream lines(LogText());
  std::set<std::string> seen;
  for (std::string line; std::getline(lines, line);) seen.insert(line);
  EXPECT_EQ(seen.size(), 800U);
  EXPECT_EQ(diag::ErrorLogCount(), 800U);  // and no line twice
}

}  // namespace
}  // namespace upd
