// Character and one-line tests shared by every text format of the updater.
//
// A blank is a space (0x20) or a horizontal tab (0x09), nothing else: carriage
// return, line feed, form feed and vertical tab are ordinary characters here.
// Every trimming in the updater uses this set.
#pragma once

#include <string_view>

namespace upd {

/// A blank: space or horizontal tab.
[[nodiscard]] constexpr bool IsBlankChar(char c) {
  return c == ' ' || c == '\t';
}

/// `text` without blanks at either end. Example: " a b\t" gives "a b".
[[nodiscard]] constexpr std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlankChar(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankChar(text.back())) text.remove_suffix(1);
  return text;
}

/// 1 for a space or a horizontal tab; 0 for every other value.
/// Example: IsWhiteSpace(' ') == 1, IsWhiteSpace('\r') == 0.
[[nodiscard]] int IsWhiteSpace(unsigned char c);

/// 1 when `s` is null, empty or made of blanks only; else 0.
/// Example: IsBlank(" \t") == 1, IsBlank(" x") == 0.
[[nodiscard]] int IsBlank(const char* s);

/// 1 when the first non-blank character of `s` is '#' or ';'; else 0, also for
/// null, empty and all-blank strings. Only the line's start counts.
/// Example: iscomm("  ; y") == 1, iscomm("a # b") == 0.
[[nodiscard]] int iscomm(const char* s);

/// The first position of `s` that is not a blank: its terminating NUL when `s`
/// is empty or all blanks; null for a null `s`.
/// Example: SkipSpaces(" \tab ") points at "ab ".
[[nodiscard]] const char* SkipSpaces(const char* s);
/// The same for a modifiable string.
[[nodiscard]] char* SkipSpaces(char* s);

/// 1 when `c` is one of the characters of `set` before its NUL; 0 when it is
/// not, when `set` is null, and always for c == '\0'.
/// Example: CharInList('(', " \t(") == 1, CharInList('x', " \t(") == 0.
[[nodiscard]] int CharInList(char c, const char* set);

/// 1 when `s` ends with `suffix`, byte for byte (case matters); 1 for a null or
/// empty suffix whatever `s` is; otherwise 0 for a null or empty `s`, or one
/// shorter than the suffix.
/// Example: Suffix(".cpp", "main.cpp") == 1, Suffix(".c", "main.cpp") == 0.
[[nodiscard]] int Suffix(const char* suffix, const char* s);

}  // namespace upd
