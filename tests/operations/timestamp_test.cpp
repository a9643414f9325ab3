#include "operations/timestamp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "support/test_support.h"

namespace upd {
namespace {

constexpr std::int32_t kUntouched = 0x5a5a5a5a;
using Seconds = std::optional<std::int32_t>;

// Conversions run in UTC unless a test names another zone; TZ is unset afterwards.
class TimeStampTest : public testing::Test {
 protected:
  void SetUp() override { Zone("UTC"); }
  void TearDown() override {
    ::unsetenv("TZ");
    ::tzset();
  }
  static void Zone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
};

Seconds Convert(const char* text) {
  std::int32_t seconds = kUntouched;
  if (ConvertTimeStamp(text, &seconds) == 0) {
    EXPECT_EQ(seconds, kUntouched) << "a refused timestamp wrote its output: " << text;
    return std::nullopt;
  }
  return seconds;
}

TEST_F(TimeStampTest, AcceptedFormsGiveTheirValue) {
  constexpr std::int64_t k081937 = 1558426777;  // 2019-05-21 08:19:37 UTC
  // One dash makes a 10-character date whose last character is not read.
  for (const char* text :
       {"2019-05-21 08:19:37", "20190521 081937", "2019-05-21 08:1937", "2019-05-21 0819:37",
        "2019-05-21 08:19:37Z", "2019-05-21 08:19:37Zanything", "2019-05-21    08:19:37",
        "2019-0521x 08:19:37", "201905-21x 08:19:37"}) {
    EXPECT_EQ(Convert(text), Seconds(k081937)) << text;
  }
  const struct {
    const char* text;
    std::int64_t expected;
  } cases[] = {
      {"2019-05-21 08:19", k081937 - 37},
      {"2019-05-21 0819:00", k081937 - 37},
      {"2019-05-21 0819", k081937 - 37},
      {"2019-05-21 08", k081937 - 19 * 60 - 37},
      {"2020-02-29 00:00:00", 1582934400},
      {"2000-02-29 00:00:00", 951782400},
      {"1969-12-31 23:59:59", -1},
      {"1901-12-13 20:45:52", kTimeStampMin},
      {"2038-01-19 03:14:07", kTimeStampMax},
      {"2019-05-21                   08", 1558425600},  // 31 characters
  };
  for (const auto& c : cases) EXPECT_EQ(Convert(c.text), Seconds(c.expected)) << c.text;
}

TEST_F(TimeStampTest, MalformedOrUnrepresentableFormsAreRefused) {
  const char* const cases[] = {
      // Separator, date and time parts.
      "2019-05-21T08:19:37", "2019-05-21\t08:19:37", " 2019-05-21 08:19:37", "2019-05-21",
      "2019-05-21 ", "2019-05-21 08:19:37 ", "2019-05-21 08:19:37+01", "2019-05-21 08:19Z",
      "2019-05-21 08Z", "2019-5-21 08:00:00", "2019/05/21 08:00:00", "2019-05-211 08:00:00",
      "2019052 08:00:00", "201905210 08:00:00", "2019-05-2x 08:00:00", "-019-05-21 08:00:00",
      // Field values.
      "2019-02-29 00:00:00", "1900-02-29 00:00:00", "2019-04-31 00:00:00", "2019-13-01 00:00:00",
      "2019-00-10 00:00:00", "2019-05-00 00:00:00", "2019-05-32 00:00:00", "2019-05-21 24:00:00",
      "2019-05-21 23:60:00", "2019-05-21 23:59:60",
      "2019-05-21 12:", "2019-05-21 12:30:", "2019-05-21 1", "2019-05-21 +1:00:00",
      // A last field of one digit.
      "2019-05-21 12:3", "2019-05-21 123", "2019-05-21 12:30:5", "2019-05-21 1230:5",
      "2019-05-21 12305",
      // Outside what signed 32-bit seconds can hold.
      "1901-12-13 20:45:51", "2038-01-19 03:14:08", "0000-01-01 00:00:00", "9999-12-31 23:59:59",
      // Longer than the 31 characters any caller can hold; empty.
      "2019-05-21                    08", ""};
  for (const char* text : cases) EXPECT_EQ(Convert(text), std::nullopt) << '"' << text << '"';
  EXPECT_EQ(ConvertTimeStamp(nullptr, nullptr), 0);
}

// On the instrument's 32-bit time_t the host's mktime cannot hold the first
// second after 2038-01-19 03:14:07: that second is still refused, and the
// values up to it are those of the 64-bit build.
TEST_F(TimeStampTest, ThirtyTwoBitClockGivesTheSixtyFourBitValues) {
  if (test::kTimeAfter2038) GTEST_SKIP() << "time_t has 64 bits on this build";
  EXPECT_EQ(UnixEpoch(2038, 1, 19, 3, 14, 8), kTimeStampMax + 1);
  EXPECT_EQ(Convert("2038-01-19 03:14:08"), std::nullopt);
  EXPECT_EQ(Convert("2106-02-07 06:28:16"), std::nullopt);  // 2^32: no wrap to 0
  EXPECT_EQ(Convert("2038-01-19 03:14:07"), Seconds(kTimeStampMax));
}

// The value counts from local midnight of 1 January 1970, so daylight saving
// makes it one hour smaller, and the 32-bit limits hold on that clock.
TEST_F(TimeStampTest, DaylightSavingShiftsTheValueInBerlin) {
  if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin")) {
    GTEST_SKIP() << "needs the tzdata package (/usr/share/zoneinfo/Europe/Berlin)";
  }
  Zone("Europe/Berlin");
  EXPECT_EQ(Convert("2019-01-15 12:00:00"), Seconds(1547553600));
  EXPECT_EQ(Convert("2019-07-01 12:00:00"), Seconds(1561982400 - 3600));
  EXPECT_EQ(Convert("2038-01-19 03:14:07"), Seconds(kTimeStampMax));
  EXPECT_EQ(Convert("2038-01-19 03:14:08"), std::nullopt);
}

}  // namespace
}  // namespace upd
