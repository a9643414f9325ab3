#include "operations/timestamp.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
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
  const struct {
    const char* text;
    std::int64_t expected;
  } cases[] = {
      {"2019-05-21 08:19:37", k081937},
      {"20190521 081937", k081937},
      {"2019-05-21 08:1937", k081937},
      {"2019-05-21 0819:37", k081937},
      {"2019-05-21 08:19:37Z", k081937},
      {"2019-05-21 08:19:37Zanything", k081937},
      {"2019-05-21    08:19:37", k081937},
      {"2019-05-21 08:19", k081937 - 37},
      {"2019-05-21 0819:00", k081937 - 37},
      {"2019-05-21 0819", k081937 - 37},
      {"2019-05-21 08", k081937 - 19 * 60 - 37},
      // One dash makes a 10-character date whose last character is not read.
      {"2019-0521x 08:19:37", k081937},
      {"201905-21x 08:19:37", k081937},
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

TEST_F(TimeStampTest, FieldParsersStoreFieldsOnlyOnSuccess) {
  int a = -1, b = -1, c = -1;
  // Any four digits are a year here; only the conversion limits the range.
  ASSERT_EQ(ParseDate("00001231", &a, &b, &c), 1);
  EXPECT_EQ((std::array{a, b, c}), (std::array{0, 12, 31}));
  ASSERT_EQ(ParseTime("2359:59Z", &a, &b, &c), 1);
  EXPECT_EQ((std::array{a, b, c}), (std::array{23, 59, 59}));
  a = b = c = -1;
  EXPECT_EQ(ParseDate("2019-02-29", &a, &b, &c) + ParseTime("23:5", &a, &b, &c), 0);
  EXPECT_EQ(ParseDate(nullptr, &a, &b, &c) + ParseTime(nullptr, &a, &b, &c), 0);
  EXPECT_EQ((std::array{a, b, c}), (std::array{-1, -1, -1}));
}

// Random instants over the whole 32-bit range, written in a random accepted
// form, must come back as the instant that gmtime() broke down.
TEST_F(TimeStampTest, AgreesWithGmtimeOnRandomInstants) {
  std::mt19937 random(4271);
  std::uniform_int_distribution<std::int64_t> instant(kTimeStampMin, kTimeStampMax);
  constexpr const char* kForms[] = {"%Y-%m-%d %H:%M:%S", "%Y%m%d %H%M%S", "%Y-%m-%d   %H:%M:%SZ",
                                    "%Y%m%d %H%M:%S", "%Y-%m-%d %H:%M%S"};
  for (int i = 0; i < 5000; ++i) {
    const auto value = static_cast<std::time_t>(i == 0 ? kTimeStampMin : instant(random));
    std::tm broken{};
    ASSERT_NE(::gmtime_r(&value, &broken), nullptr);
    char text[kTimeStampTextSize];
    ASSERT_GT(std::strftime(text, sizeof text, kForms[i % 5], &broken), 0U);
    ASSERT_EQ(Convert(text), Seconds(static_cast<std::int32_t>(value))) << text;
  }
}

// On the instrument's 32-bit time_t the host's mktime cannot hold the first
// second after 2038-01-19 03:14:07: that second is still refused, and the
// values up to it are those of the 64-bit build.
TEST_F(TimeStampTest, ThirtyTwoBitClockGivesTheSixtyFourBitValues) {
  if (test::kTimeAfter2038) GTEST_SKIP() << "time_t has 64 bits on this build: mktime holds every instant here";
  std::tm reading{};
  reading.tm_year = 138;  // 2038-01-19 03:14:08
  reading.tm_mday = 19;
  reading.tm_hour = 3;
  reading.tm_min = 14;
  reading.tm_sec = 8;
  reading.tm_isdst = -1;
  ASSERT_EQ(std::mktime(&reading), static_cast<std::time_t>(-1));
  EXPECT_EQ(UnixEpoch(2038, 1, 19, 3, 14, 8), kTimeStampMax + 1);
  EXPECT_EQ(Convert("2038-01-19 03:14:08"), std::nullopt);
  EXPECT_EQ(Convert("2106-02-07 06:28:16"), std::nullopt);  // 2^32: no wrap to 0
  EXPECT_EQ(Convert("2038-01-19 03:14:07"), Seconds(kTimeStampMax));
  EXPECT_EQ(Convert("2019-05-21 08:19:37"), Seconds(1558426777));
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
  EXPECT_EQ(UnixEpoch(2019, 7, 1, 12, 0, 0), 1561982400 - 3600);
}

}  // namespace
}  // namespace upd
