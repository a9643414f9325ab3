// Dates, times of day and time values as text, for diagnostic time stamps.
//
// Every function returns 1 on success and 0 on failure, with a negative code
// stored through `err` (a null `err` is allowed; the code is then dropped).
// `err` is not written on success.
#pragma once

#include <ctime>

namespace upd {

/// format_date() codes.
inline constexpr int kDateNoTemplate = -1;      // tmpl is null
inline constexpr int kDateBadMonth = -2;        // month outside 1..12
inline constexpr int kDateBadDay = -3;          // day outside 1..31
inline constexpr int kDateBadYear = -4;         // year outside 1970..2069
inline constexpr int kDateTooLong = -5;         // the text does not fit dst
inline constexpr int kDateTwoDays = -6;         // DD after DD
inline constexpr int kDateYyAfterYyyy = -7;     // YY after YYYY
inline constexpr int kDateTwoYy = -8;           // YY after YY
inline constexpr int kDateTwoMm = -9;           // MM after MM
inline constexpr int kDateMonAfterMm = -10;     // MON after MM
inline constexpr int kDateMonAfterMonth = -11;  // MON after MONTH
inline constexpr int kDateTwoMon = -12;         // MON after MON

/// Fills the date template `tmpl` into dst (`size` bytes). Tokens, matched
/// without regard to case: DD day "%02d"; YYYY year; YY year within its century
/// "%02d"; MM month "%02d"; MONTH full month name; MON "Jan".."Dec". Each of day,
/// year and month may appear once; other text is copied unchanged. The checks
/// run in the order of the codes above. A token standing before the first
/// match of a later-ranked one stays literal ("MON MM" gives "MON 12").
///
/// The result is refused with kDateTooLong, never cut: both when the template
/// itself does not fit (length >= size) and when a month name makes the text
/// longer than dst ("MONTH" with size 8 in September); a null dst is refused the
/// same way. On failure dst holds "" when it has room for it.
/// Example: (12, 5, 2026, "yyyy-mon-dd") gives "2026-Dec-05".
[[nodiscard]] int format_date(int month, int day, int year, const char* tmpl, char* dst,
                              unsigned int size, int* err);

/// format_time() codes.
inline constexpr int kTimeNoRoom = -1;     // dst null or size below 9
inline constexpr int kTimeBadHour = -2;    // hour above 23
inline constexpr int kTimeBadMinute = -3;  // minute above 59
inline constexpr int kTimeBadSecond = -4;  // second above 59

/// Writes "HH:MM:SS" (8 characters) into dst, which needs at least 9 bytes.
/// Negative values fail their range test.
[[nodiscard]] int format_time(int hour, int minute, int second, char* dst, unsigned int size,
                              int* err);

/// "Jan".."Dec" for 1..12; nullptr otherwise.
[[nodiscard]] const char* MonthName(int month);

/// FormatDateTime() codes.
inline constexpr int kDateTimeNoBuffer = -1;    // dst null or size 0
inline constexpr int kDateTimeLocal = -2;       // t has no local broken-down time
inline constexpr int kDateTimeUniversal = -3;   // t has no universal broken-down time
inline constexpr int kDateTimeDate = -4;        // format_date failed (year from 2070 on...)
inline constexpr int kDateTimeTimeOfDay = -5;   // format_time failed
inline constexpr int kDateTimeDoesNotFit = -6;  // the result needs more than size bytes

/// The date of `t` filled into `tmpl` (see format_date, which works in 128
/// bytes), a space and the time of day "HH:MM:SS"; the time alone when the
/// filled template is empty. Local time when `local` is non-zero (honouring a
/// changed TZ), universal time otherwise. dst is "" after any failure but -1.
/// Years outside 1970..2069 fail with kDateTimeDate even for a template without
/// date tokens. Example: (t, "", 0, buf, 9, &err) gives "14:03:07".
[[nodiscard]] int FormatDateTime(std::time_t t, const char* tmpl, int local, char* dst,
                                 unsigned short size, int* err);

}  // namespace upd
