#include "diag/errlog.h"

#include <cerrno>
#include <filesystem>
#include <string>

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

const std::size_t kLine = kHeader.size() + 5;  // kHeader + "line\n"

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

// The size is checked on every 25th line: exactly 262144 bytes stay, more are
// rotated onto the previous log, and the new log is written on.
TEST_F(ErrorLog, EveryTwentyFifthLineRotatesALogPast262144Bytes) {
  EXPECT_EQ(ErrorLogSizeCheck(), 0);  // nothing open yet
  test::WriteFile(log, std::string(kErrorLogRotateSize - 25 * kLine, 'a'));
  test::WriteFile(prev, "older");
  dpr_stat = DPR_ERRLOG;
  Lines(49);
  EXPECT_EQ(ReadFile(prev), "older");
  Lines(1);
  EXPECT_EQ(ReadFile(prev).size(), kErrorLogRotateSize + 25 * kLine);
  Lines(1);
  EXPECT_EQ(ReadFile(log).size(), kLine);
  EXPECT_EQ(dpr_stat, DPR_ERRLOG);
}

TEST_F(ErrorLog, AFailedRotationIsReportedOnceAndStopsTheCopies) {
  using platform::FileCall;
  const std::string names =
      "Can't rename file \"/home/Tobrin/log/Updateerrlog.txt\" to "
      "\"/home/Tobrin/log/Updateerrlogprev.txt\"";
  const struct {
    test::Faults faults;
    std::string message;
  } cases[] = {
      {{.refuse = {{FileCall::kRename, EXDEV}}}, names + " (EXDEV).\n"},
      {{.divert = kDiagErrorLogPrevPath}, names + " (ENOENT).\n"},
      {{}, names + ".  The file \"/home/Tobrin/log/Updateerrlog.txt\" does not exist.\n"},
      {{.refuse = {{FileCall::kRemove, EACCES}}}, "ErrorLogSizeCheck : \"RemoveFile\" failed"},
  };
  for (const auto& c : cases) {
    Reset();
    test::WriteFile(log, std::string(kErrorLogRotateSize + 1, 'a'));
    test::WriteFile(prev, "older");
    const test::FaultScope faults(sim.platform(), c.faults);
    dpr_stat = DPR_ERRLOG;
    Lines(24);
    if (c.message.ends_with("exist.\n")) fs::remove(log);
    ::testing::internal::CaptureStderr();
    Lines(26);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message);
    EXPECT_EQ(dpr_stat, 0U);
    EXPECT_EQ(diag::ErrorLogCount(), 25U);
  }
  EXPECT_EQ(ReadFile(log).size(), kErrorLogRotateSize + 1 + 25 * kLine);  // left unrotated
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
  EXPECT_EQ(ReadFile(log),
            "bare" + kHeader + "zero\n" + noFunc + "one\n" + kHeader + "no stream\n");

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
  const std::string lines = kHeader + "one\\n\n" + kHeader + "two\\n\n" + kHeader + "three\\n\n";
  EXPECT_EQ(Drain(1), "\n" + lines);
  EXPECT_EQ(ReadFile(log), lines);

  // A queued line is cut at 1279 characters: 34 + function + 4 + message + 2.
  const std::string message(1023, 'm');
  Say(6, message.c_str(), std::string(216, 'f').c_str());
  Say(6, message.c_str(), std::string(217, 'f').c_str());
  EXPECT_EQ(Drain(), "\n");
  const std::string both = ReadFile(log).substr(lines.size());
  EXPECT_EQ(both.size(), 2 * 1280U);
  EXPECT_EQ(both.substr(1270, 10), "mmmmmmm\\n\n");
  EXPECT_EQ(both.substr(2550), "mmmmmmmm\\\n");
}

}  // namespace
}  // namespace upd
