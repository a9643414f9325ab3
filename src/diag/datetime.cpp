#include "diag/datetime.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace upd {

namespace {

constexpr std::array<const char*, 12> kShortMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 12> kFullMonths = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

constexpr std::size_t kDateWorkSize = 128;
constexpr std::size_t kTimeTextSize = 9;
constexpr std::size_t kNotFound = std::string_view::npos;

int Fail(int* err, int code) {
  if (err != nullptr) *err = code;
  return 0;
}

// Range tests on the unsigned value, so that negative numbers fail them too.
constexpr bool InRange(int value, unsigned low, unsigned high) {
  return static_cast<unsigned>(value) >= low && static_cast<unsigned>(value) <= high;
}

char Upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// First case-insensitive occurrence of the upper-case `token` in `text` at or
// after `from`.
std::size_t FindToken(std::string_view text, std::string_view token, std::size_t from) {
  for (std::size_t i = from; i + token.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < token.size() && Upper(text[i + k]) == token[k]) ++k;
    if (k == token.size()) return i;
  }
  return kNotFound;
}

// The template being filled in, in the caller's buffer of `size` bytes.
class DateText {
 public:
  DateText(char* dst, std::size_t size) : dst_(dst), size_(size) {}

  [[nodiscard]] std::string_view text() const { return {dst_, std::strlen(dst_)}; }
  [[nodiscard]] std::size_t Find(std::string_view token, std::size_t from = 0) const {
    return FindToken(text(), token, from);
  }

  // Puts `value` in place of `length` letters at `at`; false (dst unchanged)
  // when the result would not fit.
  [[nodiscard]] bool Replace(std::size_t at, std::size_t length, std::string_view value) {
    const std::size_t old = std::strlen(dst_);
    const std::size_t grown = old - length + value.size();
    if (grown >= size_) return false;
    std::memmove(dst_ + at + value.size(), dst_ + at + length, old - at - length + 1);
    std::memcpy(dst_ + at, value.data(), value.size());
    return true;
  }

 private:
  char* dst_;
  std::size_t size_;
};

std::string_view TwoDigits(int value, std::array<char, 8>& buffer) {
  const int n = std::snprintf(buffer.data(), buffer.size(), "%02d", value);
  return {buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0};
}

int FillTokens(DateText& out, int month, int day, int year, int* err) {
  std::array<char, 8> number{};
  // Day.
  if (const std::size_t at = out.Find("DD"); at != kNotFound) {
    if (out.Find("DD", at + 2) != kNotFound) return Fail(err, kDateTwoDays);
    if (!out.Replace(at, 2, TwoDigits(day, number))) return Fail(err, kDateTooLong);
  }
  // Year.
  if (const std::size_t at = out.Find("YYYY"); at != kNotFound) {
    if (out.Find("YY", at + 4) != kNotFound) return Fail(err, kDateYyAfterYyyy);
    const int n = std::snprintf(number.data(), number.size(), "%d", year);
    if (!out.Replace(at, 4, {number.data(), static_cast<std::size_t>(n)})) {
      return Fail(err, kDateTooLong);
    }
  } else if (const std::size_t yy = out.Find("YY"); yy != kNotFound) {
    if (out.Find("YY", yy + 2) != kNotFound) return Fail(err, kDateTwoYy);
    const int inCentury = year < 2000 ? year - 1900 : year - 2000;
    if (!out.Replace(yy, 2, TwoDigits(inCentury, number))) return Fail(err, kDateTooLong);
  }
  // Month: the first of MM, MONTH, MON that occurs decides.
  const auto index = static_cast<std::size_t>(month - 1);
  if (const std::size_t at = out.Find("MM"); at != kNotFound) {
    if (out.Find("MM", at + 2) != kNotFound) return Fail(err, kDateTwoMm);
    if (out.Find("MON", at + 2) != kNotFound) return Fail(err, kDateMonAfterMm);
    if (!out.Replace(at, 2, TwoDigits(month, number))) return Fail(err, kDateTooLong);
  } else if (const std::size_t full = out.Find("MONTH"); full != kNotFound) {
    if (out.Find("MON", full + 5) != kNotFound) return Fail(err, kDateMonAfterMonth);
    if (!out.Replace(full, 5, kFullMonths[index])) return Fail(err, kDateTooLong);
  } else if (const std::size_t mon = out.Find("MON"); mon != kNotFound) {
    if (out.Find("MON", mon + 3) != kNotFound) return Fail(err, kDateTwoMon);
    if (!out.Replace(mon, 3, kShortMonths[index])) return Fail(err, kDateTooLong);
  }
  return 1;
}

}  // namespace

int format_date(int month, int day, int year, const char* tmpl, char* dst, unsigned int size,
                int* err) {
  if (dst != nullptr && size > 0) dst[0] = '\0';  // nothing half-made is left on failure
  if (tmpl == nullptr) return Fail(err, kDateNoTemplate);
  if (!InRange(month, 1, 12)) return Fail(err, kDateBadMonth);
  if (!InRange(day, 1, 31)) return Fail(err, kDateBadDay);
  if (year < 1970 || year > 2069) return Fail(err, kDateBadYear);
  if (dst == nullptr || std::strlen(tmpl) >= size) return Fail(err, kDateTooLong);

  std::memcpy(dst, tmpl, std::strlen(tmpl) + 1);
  DateText out(dst, size);
  if (FillTokens(out, month, day, year, err) == 0) {
    dst[0] = '\0';
    return 0;
  }
  return 1;
}

int format_time(int hour, int minute, int second, char* dst, unsigned int size, int* err) {
  if (dst == nullptr || size < kTimeTextSize) return Fail(err, kTimeNoRoom);
  if (!InRange(hour, 0, 23)) return Fail(err, kTimeBadHour);
  if (!InRange(minute, 0, 59)) return Fail(err, kTimeBadMinute);
  if (!InRange(second, 0, 59)) return Fail(err, kTimeBadSecond);
  std::snprintf(dst, size, "%02d:%02d:%02d", hour, minute, second);
  return 1;
}

const char* MonthName(int month) {
  return InRange(month, 1, 12) ? kShortMonths[static_cast<std::size_t>(month - 1)] : nullptr;
}

int FormatDateTime(std::time_t t, const char* tmpl, int local, char* dst, unsigned short size,
                   int* err) {
  if (dst == nullptr || size == 0) return Fail(err, kDateTimeNoBuffer);
  dst[0] = '\0';

  std::tm parts{};
  if (local != 0) {
    // localtime() would pick up a changed TZ; the reentrant form needs telling.
    ::tzset();
    if (::localtime_r(&t, &parts) == nullptr) return Fail(err, kDateTimeLocal);
  } else if (::gmtime_r(&t, &parts) == nullptr) {
    return Fail(err, kDateTimeUniversal);
  }

  std::array<char, kDateWorkSize> date{};
  if (format_date(parts.tm_mon + 1, parts.tm_mday, parts.tm_year + 1900, tmpl, date.data(),
                  date.size(), nullptr) == 0) {
    return Fail(err, kDateTimeDate);
  }
  std::array<char, kTimeTextSize> time{};
  if (format_time(parts.tm_hour, parts.tm_min, parts.tm_sec, time.data(), time.size(), nullptr) ==
      0) {
    return Fail(err, kDateTimeTimeOfDay);
  }

  const std::size_t dateLength = std::strlen(date.data());
  const std::size_t timeLength = std::strlen(time.data());
  if (dateLength != 0) {
    if (dateLength + 1 + timeLength >= size) return Fail(err, kDateTimeDoesNotFit);
    std::snprintf(dst, size, "%s %s", date.data(), time.data());
  } else {
    if (timeLength >= size) return Fail(err, kDateTimeDoesNotFit);
    std::snprintf(dst, size, "%s", time.data());
  }
  return 1;
}

}  // namespace upd
