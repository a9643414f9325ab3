#include "diag/datetime.h"

#include <array>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace upd {
namespace {

// A name that outgrows dst, or a template that dst cannot hold, is refused.
TEST(FormatDate, FillsTokensOrRefusesWithinTheCallersSize) {
  const struct {
    int month, day, year;
    const char* tmpl;
    unsigned size;
    const char* text;  // nullptr: fails with `code`
    int code;
  } cases[] = {{12, 5, 2026, "yyyy-mon-dd", 32, "2026-Dec-05", 0},
               {12, 5, 2026, "DD/MM/YY", 32, "05/12/26", 0},
               {12, 5, 2026, "MONTH DD, YYYY", 32, "December 05, 2026", 0},
               {1, 1, 1999, "YY", 32, "99", 0},
               {1, 1, 2000, "YY", 32, "00", 0},
               {1, 1, 2069, "YYYY", 32, "2069", 0},
               {12, 5, 2026, "Time:", 32, "Time:", 0},
               {12, 5, 2026, "MON MM", 32, "MON 12", 0},
               {12, 5, 2026, "MON MONTH", 32, "MON December", 0},
               {2, 31, 2026, "DD", 3, "31", 0},
               {9, 5, 2026, "MONTH", 10, "September", 0},
               {9, 5, 2026, "MONTH", 9, nullptr, kDateTooLong},
               {12, 5, 2026, "DD", 2, nullptr, kDateTooLong},
               {1, 1, 2070, "YYYY", 32, nullptr, kDateBadYear},
               {1, 1, 1969, "", 32, nullptr, kDateBadYear},
               {12, 5, 2026, "DD-DD", 32, nullptr, kDateTwoDays},
               {12, 5, 2026, "YYYY YY", 32, nullptr, kDateYyAfterYyyy},
               {12, 5, 2026, "YY YY", 32, nullptr, kDateTwoYy},
               {12, 5, 2026, "MM MM", 32, nullptr, kDateTwoMm},
               {12, 5, 2026, "MM MON", 32, nullptr, kDateMonAfterMm},
               {12, 5, 2026, "MONTH mon", 32, nullptr, kDateMonAfterMonth},
               {12, 5, 2026, "MON MON", 32, nullptr, kDateTwoMon},
               {-1, 5, 2026, "", 32, nullptr, kDateBadMonth},
               {13, 5, 2026, "", 32, nullptr, kDateBadMonth},
               {12, 32, 2026, "", 32, nullptr, kDateBadDay},
               {12, 5, 2026, nullptr, 32, nullptr, kDateNoTemplate}};
  for (const auto& c : cases) {
    std::array<char, 32> dst{};
    dst.fill('#');
    int err = 1;
    EXPECT_EQ(format_date(c.month, c.day, c.year, c.tmpl, dst.data(), c.size, &err),
              c.text != nullptr ? 1 : 0)
        << c.tmpl;
    EXPECT_STREQ(dst.data(), c.text != nullptr ? c.text : "") << c.tmpl;
    EXPECT_EQ(err, c.text != nullptr ? 1 : c.code) << c.tmpl;
    for (std::size_t i = c.size; i < dst.size(); ++i) ASSERT_EQ(dst[i], '#') << c.tmpl;
  }
}

TEST(FormatTime, ChecksRoomThenEachField) {
  std::array<char, 9> dst{};
  int err = 0;
  EXPECT_EQ(format_time(23, 59, 59, dst.data(), 9, &err), 1);
  EXPECT_STREQ(dst.data(), "23:59:59");
  for (const auto& [h, m, s, size, code] : {std::array{1, 1, 1, 8, kTimeNoRoom},
                                            {-1, 1, 1, 9, kTimeBadHour},
                                            {24, 60, 1, 9, kTimeBadHour},
                                            {1, 60, 1, 9, kTimeBadMinute},
                                            {1, 1, 60, 9, kTimeBadSecond}}) {
    EXPECT_EQ(format_time(h, m, s, dst.data(), static_cast<unsigned>(size), &err), 0);
    EXPECT_EQ(err, code);
  }
  EXPECT_EQ(MonthName(0), nullptr);
  EXPECT_EQ(MonthName(13), nullptr);
  EXPECT_STREQ(MonthName(12), "Dec");
}

TEST(FormatDateTime, JoinsDateAndTimeWithinTheBuffer) {
  ::setenv("TZ", "UTC", 1);
  const std::time_t saturday = 1796479387;                      // 2026-12-05 14:03:07 UTC
  const std::string long127 = "MONTH" + std::string(122, 'x');  // September outgrows 128 bytes
  const struct {
    std::time_t t;
    const char* tmpl;
    unsigned short size;
    const char* text;
    int code;
  } cases[] = {{saturday, "yyyy-mon-dd", 32, "2026-Dec-05 14:03:07", 0},
               {saturday, "Time:", 32, "Time: 14:03:07", 0},
               {saturday, "", 9, "14:03:07", 0},
               {saturday, "", 8, nullptr, kDateTimeDoesNotFit},
               {saturday, "DD", 11, nullptr, kDateTimeDoesNotFit},
               {-1, "", 32, nullptr, kDateTimeDate},  // 1969-12-31
               {1789000000, long127.c_str(), 200, nullptr, kDateTimeDate},
               {saturday, "", 0, nullptr, kDateTimeNoBuffer},
               {test::k2070, "", 32, nullptr, kDateTimeDate}};  // only where time_t reaches it
  for (const int local : {0, 1}) {
    for (const auto& c : cases) {
      if (c.t == test::k2070 && !test::kTimeAfter2038) continue;
      std::array<char, 200> dst{};
      int err = 0;
      EXPECT_EQ(FormatDateTime(c.t, c.tmpl, local, dst.data(), c.size, &err), c.text ? 1 : 0);
      EXPECT_STREQ(dst.data(), c.text != nullptr ? c.text : "") << c.size;
      EXPECT_EQ(err, c.code) << c.size;
    }
  }
}

}  // namespace
}  // namespace upd
