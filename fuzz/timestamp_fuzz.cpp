// Build timestamps from arbitrary text (up to the first NUL), on a UTC clock.
//
// Properties: a text of 32 characters or more is refused; an accepted text has
// a date and a time part that the part parsers accept with fields in range;
// its value is the POSIX time of those fields (computed here from the civil
// calendar, independently of mktime), lies in the signed 32-bit range, and the
// canonical form "YYYY-MM-DD HH:MM:SS" of the fields converts to the same value.
// A refused text leaves the output untouched.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "fuzz_support.h"
#include "operations/timestamp.h"

namespace {

using upd::fuzz::Require;

// Days from 1970-01-01 to the given Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

const bool kUtc = [] {
  setenv("TZ", "UTC", 1);
  tzset();
  return true;
}();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Require(kUtc, "clock not set to UTC");
  const std::string text(upd::fuzz::Bytes(data, size).substr(0, 64));
  const std::string shown(text.c_str());  // the converter sees up to the first NUL

  constexpr std::int32_t kUntouched = 0x5a5a5a5a;
  std::int32_t seconds = kUntouched;
  if (upd::ConvertTimeStamp(text.c_str(), &seconds) == 0) {
    Require(seconds == kUntouched, "a refused text wrote its output");
    return 0;
  }
  Require(shown.size() < upd::kTimeStampTextSize, "a text of 32 characters or more was accepted");

  const std::size_t space = shown.find(' ');
  const std::size_t timeAt = shown.find_first_not_of(' ', space);
  Require(timeAt != std::string::npos, "accepted without a space and a time part");
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  Require(upd::ParseDate(shown.substr(0, space).c_str(), &year, &month, &day) == 1,
          "the date part alone is refused");
  Require(upd::ParseTime(shown.c_str() + timeAt, &hour, &minute, &second) == 1,
          "the time part alone is refused");
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
