#include "diag/dpr.h"

#include <array>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "diag/diag_paths.h"
#include "diag/thread_names.h"
#include "diag_fixture.h"

namespace upd {
namespace {

namespace fs = std::filesystem;
using test::kHeader;
using Dpr = test::DiagTest;

TEST_F(Dpr, LayoutsAndLevelsByteForByte) {
  const std::string h = kHeader, dated = h + "2026-Dec-05 14:03:07.123 :: hi\n";
  const struct {
    std::uint32_t bits;
    unsigned short level;
    std::string expected;
  } cases[] = {
      {DPR_TIME, 1, h + "14:03:07.123 :: hi\n"},
      {0, 2, h + "hi\n"},
      {DPR_TIME | DPR_LONG, 7,
       "THREAD MAIN   :: FILE probe.cpp      @   7 :: FUNC Probe            :: TIME "
       "14:03:07.123\n  hi\n"},
      {DPR_LONG, 1, "THREAD MAIN   :: FILE probe.cpp      @   7 :: FUNC Probe\n  hi\n"},
      {DPR_TIME | DPR_DATE, 1, dated},
      {DPR_TIME | DPR_DATE | DPR_EPOCH, 1, dated},
      {DPR_TIME | DPR_EPOCH, 1, h + "1796479387.123456 :: hi\n"},
      {DPR_TIME | DPR_LONG, 5, "hi"},
      {0, 3, ""},
      {DPR_MESG, 3, h + "hi\n"},
      {0, 4, ""},
      {DPR_LEVEL4, 4, h + "hi\n"},
      {DPR_QUEUE, 6, ""},
      {0xFFFFU & ~DPR_DEBUGFILE & ~DPR_ERRLOG & ~DPR_SLEEP, 0, ""},
      {0, 65535, ""},
  };
  for (const auto& c : cases) {
    test::MemoryStream stream;
    dpr_stat = c.bits;
    dpr(c.level, stream.stream, "src/diag/probe.cpp", "Probe", 7, "%s", "hi");
    EXPECT_EQ(stream.text(), c.expected) << "level " << c.level << " bits " << c.bits;
  }
}

TEST_F(Dpr, LineEndsFollowTheFormatAndTheMessageIsCut) {
  const char* none = nullptr;
  for (const char* format : {"abc\\n", "x", "line\n"})
    dpr(1, out.stream, "probe.cpp", "Probe", 7, format);
  dpr(5, out.stream, "probe.cpp", "Probe", 7, "abc");
  // An argument follows the null format, or it would pass for a message
  // handed over as the format (-Wformat-security).
  dpr(1, out.stream, "probe.cpp", "Probe", 7, none, 0);
  dpr(1, out.stream, "probe.cpp", "Probe", 7, "%s", std::string(1100, 'm').c_str());
  EXPECT_EQ(out.text(), kHeader + "abc\\n" + kHeader + "x\n" + kHeader + "line\n\n" + "abc" +
                            kHeader + std::string(1023, 'm') + "\n");

  test::MemoryStream macro;
  const int line = __LINE__ + 1;
  DPR(1, macro.stream, "v=%d", 5);
  std::array<char, 100> expected{};
  std::snprintf(expected.data(), expected.size(),
                "MAIN   :: dpr_test.cpp   @%4d :: TestBody         :: v=5\n", line);
  EXPECT_EQ(macro.text(), expected.data());
}

// Years before 1970 or from 2070 on cannot be shown; the latter exist only
// where time_t has 64 bits.
TEST_F(Dpr, UnshowableClockTurnsTimeStampsOffWithOneMessage) {
  std::vector<std::pair<std::uint32_t, time_t>> cases = {{DPR_TIME | DPR_DATE, -1}};  // 1969
  if (test::kTimeAfter2038) cases.emplace_back(DPR_TIME, test::k2070);
  for (const auto& [bits, seconds] : cases) {
    test::MemoryStream stream;
    dpr_stat = bits;
    clock.now = {seconds, 5000};
    ::testing::internal::CaptureStderr();
    dpr(1, stream.stream, "probe.cpp", "Probe", 7, "one");
    dpr(1, stream.stream, "probe.cpp", "Probe", 7, "two");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "dpr : \"FormatDateTime\" failed, ErrorCode = -4\n");
    EXPECT_EQ(stream.text(), kHeader + "one\n" + kHeader + "two\n");
    EXPECT_EQ(dpr_stat, bits & ~DPR_TIME);
  }
  if (!test::kTimeAfter2038) GTEST_SKIP() << "2070 not tested: " << test::kNoTimeAfter2038;
  dpr_stat = DPR_TIME | DPR_EPOCH;  // seconds since the epoch know no such limit
  clock.now = {test::k2070, 5000};
  Say(1, "three");
  EXPECT_EQ(out.text(), kHeader + "3155760000.005000 :: three\n");
}

TEST_F(Dpr, DebugFileThenCallersStreamAndThePause) {
  const std::string debugFile = sim.Host(kDebugFilePath);
  dpr_stat = DPR_DEBUGFILE | DPR_FLUSH;
  Say(1, "to file");
  EXPECT_EQ(test::ReadFile(debugFile), kHeader + "to file\n");

  Reset();
  fs::remove(debugFile);
  fs::create_directory(debugFile);  // cannot be opened: the caller's stream from now on
  dpr_stat = DPR_DEBUGFILE | DPR_SLEEP;
  dpr_sleep(30);
  Say(1, "here");
  Say(3, "gated");
  dpr_sleep(0);
  Say(1, "here");
  EXPECT_EQ(dpr_stat, DPR_SLEEP);
  EXPECT_THAT(clock.slept, ::testing::ElementsAre(25000));
  EXPECT_EQ(out.text(), kHeader + "here\n" + kHeader + "here\n");
}

TEST_F(Dpr, ThreadNamesMoveAndTheTableIsBounded) {
  EXPECT_EQ(SetThreadName(10, "NET") + SetThreadName(20, "NET"), 2);
  EXPECT_EQ(GetThreadName(10), nullptr);
  EXPECT_STREQ(GetThreadName(20), "NET");
  EXPECT_EQ(SetThreadName(30, "sixteen-chars-xx"), 0);
  EXPECT_EQ(SetThreadName(30, "fifteen-chars-x"), 1);
  for (unsigned long i = 0; i < 13; ++i) ASSERT_EQ(SetThreadName(i, std::to_string(i).c_str()), 1);
  EXPECT_EQ(SetThreadName(40, "SEVENTEENTH"), 0);
  EXPECT_EQ(SetThreadName(40, "NET"), 1);  // a move needs no new row

  // Each thread prints under its own name, an unregistered one as "???".
  std::thread([this] {
    ASSERT_EQ(SetThreadName("12"), 1);
    Say(1, "w");
  }).join();
  std::thread([this] { Say(1, "u"); }).join();
  const std::string tail = kHeader.substr(6);
  EXPECT_EQ(out.text(), "12    " + tail + "w\n" + "???   " + tail + "u\n");
}

TEST_F(Dpr, NameListLoadsFromTheWorkingDirectory) {
  const auto entries = [] {
    std::string list = std::to_string(dpr_stat) + ":";
    for (const FilterEntry* e = DprFilter(); e != nullptr; e = e->next)
      list.append(" ").append(e->name).append(std::to_string(e->kind));
    return list;
  };
  const std::string loaded = "64: main.cpp1 util.h1 ReadAuxInfo2 2 Main.CPP2 x.c1";
  test::WriteFile(".dpr", "main.cpp\nutil.h\nReadAuxInfo\n\nMain.CPP\nx.c\n");
  dpr_config(1, DPR_FILTER);
  EXPECT_EQ(entries(), loaded);
  dpr_config(0, DPR_FILTER);
  dpr_config(7, DPR_FILTER);
  std::string cleared = "0";  // the bit cleared, the list kept
  cleared += loaded.substr(2);
  EXPECT_EQ(entries(), cleared);
  fs::remove(".dpr");
  dpr_config(1, DPR_FILTER);  // missing: empty, bit kept
  EXPECT_EQ(entries(), "64:");
  fs::create_directory(".dpr");  // unreadable: empty, bit cleared
  dpr_config(1, DPR_FILTER | DPR_MESG);
  EXPECT_EQ(entries(), "2:");
}

}  // namespace
}  // namespace upd
