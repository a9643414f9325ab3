// Build timestamps: the text "YYYY-MM-DD HH:MM:SS" and a few compact variants,
// turned into a count of seconds so that two builds can be compared. Used by the
// file transfer to compare the installed firmware's build (-t) with a section's
// "TimeStamp".
//
// The parser is strict and positional. Accepted dates: YYYY-MM-DD and YYYYMMDD.
// Accepted times: HH, HH:MM, HHMM, HH:MM:SS, HH:MMSS, HHMM:SS and HHMMSS, with
// an optional "Z" right after the seconds only. Date and time are separated by
// one or more spaces (not a tab, not "T").
//
// All truth results are 1 for success and 0 for failure; a failure writes no
// output and prints nothing.
#pragma once

#include <cstdint>
#include <limits>

namespace upd {

/// Buffer size that holds any timestamp text the updater accepts: at most 31
/// characters (the -t value and the manifest's "TimeStamp" are both kept in
/// 32-byte buffers).
inline constexpr int kTimeStampTextSize = 32;

/// The range of a converted value: what the instrument's signed 32-bit seconds
/// can hold. On a clock without daylight saving these are 1901-12-13 20:45:52
/// and 2038-01-19 03:14:07.
inline constexpr std::int64_t kTimeStampMin = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int64_t kTimeStampMax = std::numeric_limits<std::int32_t>::max();

/// Converts a whole timestamp: the date part is the text before the first space
/// (ParseDate), the time part the text after that space and any further spaces
/// (ParseTime); the value is UnixEpoch() of the fields.
/// Returns 1 and stores the value in *seconds. Returns 0, *seconds untouched, for
/// a null `text` or `seconds`, a text of 32 characters or more, no space, a date
/// or time part that is refused, or a value outside [kTimeStampMin,
/// kTimeStampMax]. The range test holds on every build, whatever the width of the
/// host's time_t, so that a development machine refuses what the instrument
/// cannot represent.
/// Example: "2019-05-21 08:19:37" and "20190521 081937" both give 1558426777 in a
/// zone without daylight saving; "2019-05-21T08:19:37" and " 2019-05-21 08" fail.
[[nodiscard]] int ConvertTimeStamp(const char* text, std::int32_t* seconds);

/// Parses a date: exactly 10 characters when `text` holds a '-' anywhere,
/// exactly 8 otherwise. The year is characters 0 to 3; the month the two
/// characters after an optional '-' at position 4; the day the two characters
/// after an optional '-' right after the month. Each field must be all digits;
/// the month 1 to 12, the day 1 to the month's length (Gregorian leap years).
/// Characters after the day are not examined. Any four digits are a year.
/// Returns 1 and stores the three fields; 0 (nothing stored) otherwise, also
/// for any null pointer.
/// Example: "2020-02-29" -> 2020, 2, 29; "2019-0521x" -> 2019, 5, 21;
/// "2019-5-21", "2019/05/21" and "1900-02-29" fail.
[[nodiscard]] int ParseDate(const char* text, int* year, int* month, int* day);

/// Parses a time: the hour is characters 0 and 1 (at most 23); the minute the
/// two characters after an optional ':' (at most 59), the second likewise after
/// the minute (at most 59). The text may end after the hour (minute and second
/// 0) or after the minute (second 0); after the second only the end of the text
/// or a "Z" may follow (text after the "Z" is not examined). Every field must be
/// two digits, so a last field of one digit fails.
/// Returns 1 and stores the three fields; 0 (nothing stored) otherwise, also
/// for any null pointer.
/// Example: "0819" -> 8, 19, 0; "08:19:37Z" -> 8, 19, 37; "08:19Z", "12:",
/// "12:3" and "08:19:37+01" fail.
[[nodiscard]] int ParseTime(const char* text, int* hour, int* minute, int* second);

/// Seconds from midnight of 1 January 1970 on the local clock to the given local
/// clock reading (month 1 to 12): mktime() of the reading minus mktime() of
/// 1970-01-01 00:00:00, with the daylight-saving flag left to the platform. In
/// a zone without daylight saving this is the POSIX time of the reading taken
/// as UTC; where the zone's offset at the reading differs from its offset in
/// January 1970 (daylight saving, changed rules) it differs by that change.
/// Never fails. The result is 64 bits wide so that values beyond the 32-bit
/// range are seen as such; where the host's mktime cannot represent the reading
/// (a 32-bit time_t), the reading is taken as UTC instead, which is exact
/// whenever the zone's offset equals its offset of January 1970.
/// Example: (2019, 5, 21, 8, 19, 37) -> 1558426777 with TZ=UTC.
[[nodiscard]] std::int64_t UnixEpoch(int year, int month, int day, int hour, int minute,
                                     int second);

}  // namespace upd
