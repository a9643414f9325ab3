#include "operations/timestamp.h"

#include <array>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>
#include <string_view>

namespace upd {

namespace {

struct CivilDate {
  int year;
  int month;
  int day;
};

struct ClockTime {
  int hour;
  int minute;
  int second;
};

constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Not empty, and ASCII digits only.
constexpr bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

// A field of exactly `width` digits at `start`. A field that runs past the end
// of the text is refused rather than read short: "12:3" must not pass as 12:03.
constexpr std::optional<int> Field(std::string_view text, std::size_t start, std::size_t width) {
  if (start > text.size() || text.size() - start < width) return std::nullopt;
  const std::string_view digits = text.substr(start, width);
  if (!AllDigits(digits)) return std::nullopt;
  int value = 0;
  for (const char c : digits) value = value * 10 + (c - '0');
  return value;
}

constexpr bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr int DaysInMonth(int year, int month) {
  constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[static_cast<std::size_t>(month - 1)];
}

constexpr std::optional<CivilDate> ParseDateView(std::string_view text) {
  const bool dashed = text.find('-') != std::string_view::npos;
  if (text.size() != (dashed ? 10U : 8U)) return std::nullopt;
  const std::size_t monthAt = text[4] == '-' ? 5 : 4;
  const std::size_t dayAt = text[monthAt + 2] == '-' ? monthAt + 3 : monthAt + 2;
  const auto year = Field(text, 0, 4);
  const auto month = Field(text, monthAt, 2);
  const auto day = Field(text, dayAt, 2);
  if (!year || !month || !day) return std::nullopt;
  if (*month < 1 || *month > 12) return std::nullopt;
  if (*day < 1 || *day > DaysInMonth(*year, *month)) return std::nullopt;
  return CivilDate{*year, *month, *day};
}

constexpr std::optional<ClockTime> ParseTimeView(std::string_view text) {
  const auto hour = Field(text, 0, 2);
  if (!hour || *hour > 23) return std::nullopt;
  if (text.size() == 2) return ClockTime{*hour, 0, 0};

  const std::size_t minuteAt = text[2] == ':' ? 3 : 2;
  const auto minute = Field(text, minuteAt, 2);
  if (!minute || *minute > 59) return std::nullopt;
  const std::size_t afterMinute = minuteAt + 2;
  if (text.size() == afterMinute) return ClockTime{*hour, *minute, 0};

  const std::size_t secondAt = text[afterMinute] == ':' ? afterMinute + 1 : afterMinute;
  const auto second = Field(text, secondAt, 2);
  if (!second || *second > 59) return std::nullopt;
  const std::size_t afterSecond = secondAt + 2;
  if (afterSecond < text.size() && text[afterSecond] != 'Z') return std::nullopt;
  return ClockTime{*hour, *minute, *second};
}

// Days from 1970-01-01 to the first day of the given month of the proleptic
// Gregorian calendar; any month number is carried into the year.
constexpr std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month) {
  std::int64_t m0 = month - 1;
  const std::int64_t carry = m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);  // floor(m0 / 12)
  year += carry;
  m0 -= carry * 12;
  // Count years from March so that the leap day ends the year.
  const std::int64_t y = m0 < 2 ? year - 1 : year;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t monthFromMarch = m0 < 2 ? m0 + 10 : m0 - 2;
  const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The reading taken as UTC: exact arithmetic, no platform involved.
constexpr std::int64_t CivilSeconds(int year, int month, int day, int hour, int minute,
                                    int second) {
  const std::int64_t days = DaysFromCivil(year, month) + day - 1;
  return ((days * 24 + hour) * 60 + minute) * 60 + second;
}

static_assert(CivilSeconds(1970, 1, 1, 0, 0, 0) == 0);
static_assert(CivilSeconds(2019, 5, 21, 8, 19, 37) == 1558426777);
static_assert(CivilSeconds(2038, 1, 19, 3, 14, 7) == kTimeStampMax);
static_assert(CivilSeconds(1901, 12, 13, 20, 45, 52) == kTimeStampMin);
static_assert(CivilSeconds(2019, 13, 1, 0, 0, 0) == CivilSeconds(2020, 1, 1, 0, 0, 0));
static_assert(CivilSeconds(2019, 0, 1, 0, 0, 0) == CivilSeconds(2018, 12, 1, 0, 0, 0));

// mktime() of a local reading; nothing when the host cannot represent it.
std::optional<std::int64_t> LocalTime(int year, int month, int day, int hour, int minute,
                                      int second) {
  const std::int64_t tmYear = static_cast<std::int64_t>(year) - 1900;
  const std::int64_t tmMonth = static_cast<std::int64_t>(month) - 1;
  constexpr std::int64_t kIntMin = std::numeric_limits<int>::min();
  constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();
  if (tmYear < kIntMin || tmYear > kIntMax || tmMonth < kIntMin) return std::nullopt;
  std::tm reading{};
  reading.tm_sec = second;
  reading.tm_min = minute;
  reading.tm_hour = hour;
  reading.tm_mday = day;
  reading.tm_mon = static_cast<int>(tmMonth);
  reading.tm_year = static_cast<int>(tmYear);
  reading.tm_isdst = -1;
  // mktime() ignores the day of week on input and sets it on success only, so
  // an impossible value tells a failure apart from the valid result -1
  // (1969-12-31 23:59:59 UTC).
  reading.tm_wday = -1;
  const std::time_t value = std::mktime(&reading);
  if (value == static_cast<std::time_t>(-1) && reading.tm_wday == -1) return std::nullopt;
  return static_cast<std::int64_t>(value);
}

}  // namespace

int ParseDate(const char* text, int* year, int* month, int* day) {
  if (text == nullptr || year == nullptr || month == nullptr || day == nullptr) return 0;
  const auto date = ParseDateView(text);
  if (!date) return 0;
  *year = date->year;
  *month = date->month;
  *day = date->day;
  return 1;
}

int ParseTime(const char* text, int* hour, int* minute, int* second) {
  if (text == nullptr || hour == nullptr || minute == nullptr || second == nullptr) return 0;
  const auto time = ParseTimeView(text);
  if (!time) return 0;
  *hour = time->hour;
  *minute = time->minute;
  *second = time->second;
  return 1;
}

std::int64_t UnixEpoch(int year, int month, int day, int hour, int minute, int second) {
  const auto reading = LocalTime(year, month, day, hour, minute, second);
  const auto origin = LocalTime(1970, 1, 1, 0, 0, 0);
  if (reading && origin) return *reading - *origin;
  // A 32-bit time_t cannot hold the reading: the UTC reading is then the best
  // value, and it is in any case far enough outside the 32-bit range for the
  // range test to refuse it, except within a zone offset of either end.
  return CivilSeconds(year, month, day, hour, minute, second);
}

int ConvertTimeStamp(const char* text, std::int32_t* seconds) {
  if (text == nullptr || seconds == nullptr) return 0;
  const std::size_t length = ::strnlen(text, kTimeStampTextSize);
  if (length >= static_cast<std::size_t>(kTimeStampTextSize)) return 0;
  const std::string_view whole(text, length);

  const std::size_t space = whole.find(' ');
  if (space == std::string_view::npos) return 0;
  const std::string_view datePart = whole.substr(0, space);
  const std::size_t timeAt = whole.find_first_not_of(' ', space);
  const std::string_view timePart =
      timeAt == std::string_view::npos ? std::string_view{} : whole.substr(timeAt);

  const auto date = ParseDateView(datePart);
  if (!date) return 0;
  const auto time = ParseTimeView(timePart);
  if (!time) return 0;

  const std::int64_t value =
      UnixEpoch(date->year, date->month, date->day, time->hour, time->minute, time->second);
  if (value < kTimeStampMin || value > kTimeStampMax) return 0;
  *seconds = static_cast<std::int32_t>(value);
  return 1;
}

}  // namespace upd
