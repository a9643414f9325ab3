// src/strutil: general string helpers: comparisons, conversions, fields,
// allocation and name/value lists.
//
// Comparisons and searches over NUL-terminated byte strings.
//
// How to call: every helper of strutil lives in namespace upd::str. Write
// str::strstr(...) inside namespace upd and upd::str::strstr(...) elsewhere;
// never `using namespace upd::str`. Several names (strstr above all) are also
// C library functions with other rules: an unqualified strstr in project code
// must keep reaching the C library, and with this nested namespace it does.
// For the same reason this header includes no C string header.
//
// Case-insensitive means ASCII only: 'A'..'Z' fold to 'a'..'z' and every other
// byte, 128..255 included, must match exactly, whatever the process locale.
// Results are 1 for true and 0 for false. A null string equals only another
// null string; a null argument to a search finds nothing.
#pragma once

#include <concepts>
#include <cstdint>
#include <string_view>

#include "common/ascii.h"

namespace upd::str {

/// a equals b, case-sensitive. Example: streq("ABC", "abc") == 0.
[[nodiscard]] int streq(const char* a, const char* b);
/// As streq, case-insensitive. Example: eq("ABC", "abc") == 1, eq("\xC4", "\xE4") == 0.
[[nodiscard]] int eq(const char* a, const char* b);
/// The first n characters are equal, case-insensitive; equal strings shorter
/// than n count as equal; n <= 0 compares nothing. Example: eqn("abX", "ABy", 2) == 1.
[[nodiscard]] int eqn(const char* a, const char* b, int n);

/// 1 when eq(s, w) holds for one of the first n words given. Only words that
/// were passed are looked at, whatever n says.
/// Example: eql("Volt", 2, "amp", "VOLT") == 1, eql("Volt", 1, "amp", "VOLT") == 0.
template <std::convertible_to<const char*>... Words>
[[nodiscard]] int eql(const char* s, int n, Words... words) {
  int seen = 0;
  return ((seen++ < n && eq(s, words) != 0) || ...) ? 1 : 0;
}

/// Equal, case-insensitive, when every space (only ' ') in both is ignored.
/// Example: eqwosp("Out put", " OUTPUT ") == 1.
[[nodiscard]] int eqwosp(const char* a, const char* b);
/// s begins with p, case-insensitive; 1 for a null or empty p, otherwise 0 for a
/// null or empty s. Example: prefix("me", "MEASure") == 1.
[[nodiscard]] int prefix(const char* p, const char* s);
/// As prefix, case-sensitive. Example: Prefix("me", "MEASure") == 0.
[[nodiscard]] int Prefix(const char* p, const char* s);
/// s ends with x, case-insensitive; 1 for a null or empty x, otherwise 0 for a
/// null or empty s. Example: suffix(".TXT", "a.txt") == 1.
[[nodiscard]] int suffix(const char* x, const char* s);
/// prefix(p, s after its leading blanks). Example: beq(" \tVOLT 3", "volt") == 1.
[[nodiscard]] int beq(const char* s, const char* p);
/// needle occurs in hay, case-sensitive; 0 for an empty hay.
/// Example: substring("lt", "Volt") == 1, substring("", "") == 0.
[[nodiscard]] int substring(const char* needle, const char* hay);
/// As substring, case-insensitive. Example: sub("LT", "Volt") == 1.
[[nodiscard]] int sub(const char* needle, const char* hay);

/// First position of needle in hay, case-insensitive, or null; null for an
/// empty hay; hay itself for an empty needle. Example: stristr("aXbx", "xB") == "Xbx".
[[nodiscard]] const char* stristr(const char* hay, const char* needle);
[[nodiscard]] char* stristr(char* hay, const char* needle);
/// First position of needle in hay, case-sensitive, or null. Unlike the C
/// library's strstr, an empty needle gives the position of hay's terminating NUL.
/// Example: strstr("abc", "") == "abc" + 3.
[[nodiscard]] const char* strstr(const char* hay, const char* needle);
[[nodiscard]] char* strstr(char* hay, const char* needle);

/// Searching backward from `from` down to `start`, both inclusive, the last
/// position where needle occurs (case-sensitive); the match may run on past
/// `from` to the end of the text. `from` must lie within the text that begins
/// at `start`, its terminating NUL included; outside it the result is null, as
/// it is when needle does not occur. An empty needle gives `from`.
/// Example: in t = "abab", strstr_b(t, "ab", t + 3) == t + 2, strstr_b(t, "ab", t + 1) == t.
[[nodiscard]] const char* strstr_b(const char* start, const char* needle, const char* from);
[[nodiscard]] char* strstr_b(char* start, const char* needle, char* from);
/// As strstr_b, case-insensitive.
[[nodiscard]] const char* stristr_b(const char* start, const char* needle, const char* from);
[[nodiscard]] char* stristr_b(char* start, const char* needle, char* from);

/// One row of a lookup table; the table ends with a row whose name is null and
/// whose value is the default.
struct StringList {
  const char* name;
  std::intptr_t value;
};

/// The value of the first row whose name equals `name` (eq: ASCII case folded
/// only), else the terminating row's value; 0 for a null table. A null name
/// matches no row. Example: with {{"on", 1}, {"off", 0}, {nullptr, -1}},
/// StringMatch("ON", t) == 1 and StringMatch("auto", t) == -1.
[[nodiscard]] std::intptr_t StringMatch(const char* name, const StringList* table);

}  // namespace upd::str
