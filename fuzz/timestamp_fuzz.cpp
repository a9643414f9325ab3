// Build timestamps from text (up to the first NUL), on a UTC clock.
//
// Properties: a refused text leaves the output untouched; an accepted one is
// below 32 characters, has date and time parts that the part parsers accept
// with fields in range, and its value is the POSIX time of those fields
// (computed here from the civil calendar, not with mktime), which the canonical
// "YYYY-MM-DD HH:MM:SS" of the fields converts to as well.
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "operations/timestamp.h"

namespace {

// Days from 1970-01-01 to the given Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400, yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using upd::fuzz::Require;
  static const bool utc = setenv("TZ", "UTC", 1) == 0;  // mktime reads TZ afresh
  Require(utc, "clock not set to UTC");
  const std::string text = upd::fuzz::CText(data, std::min<std::size_t>(size, 64));
  std::int32_t seconds = 0x5a5a5a5a;
  if (upd::ConvertTimeStamp(text.c_str(), &seconds) == 0) {
    Require(seconds == 0x5a5a5a5a, "a refused text wrote its output");
    return 0;
  }
  Require(text.size() < upd::kTimeStampTextSize, "a text of 32 characters or more was accepted");
  const std::size_t space = text.find(' '), timeAt = text.find_first_not_of(' ', space);
  Require(timeAt != std::string::npos, "accepted without a space and a time part");
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  Require(upd::ParseDate(text.substr(0, space).c_str(), &year, &month, &day) == 1 &&
              upd::ParseTime(text.c_str() + timeAt, &hour, &minute, &second) == 1,
          "a part alone is refused");
  const std::int64_t days = DaysFromCivil(year, month, day);
  Require(month >= 1 && month <= 12 && day >= 1 &&
              days < DaysFromCivil(month == 12 ? year + 1 : year, month % 12 + 1, 1),
          "a date out of the calendar");
  Require(hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59,
          "a time out of range");
  Require(days * 86400 + hour * 3600 + minute * 60 + second == seconds,
          "the value is not the POSIX time of the fields");
  char canonical[40];
  std::snprintf(canonical, sizeof canonical, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day,
                hour, minute, second);
  std::int32_t again = 0;
  Require(upd::ConvertTimeStamp(canonical, &again) == 1 && again == seconds,
          "the canonical form gives another value");
  return 0;
}
