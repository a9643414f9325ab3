// Trimming, space filling and fixed-width fields, all in place.
//
// In namespace upd::str: call as str::pad(...) inside namespace upd (see
// strcompare.h for why the helpers are never called unqualified). A blank is a
// space or a tab; where a function speaks of spaces only ' ' counts. A null
// string is left alone. Where a buffer size is passed, nothing is read or
// written beyond it; other functions work on the NUL-terminated text and the
// caller provides room where the contract says so.
#pragma once

#include <cstdint>

namespace upd::str {

/// Removes leading and trailing blanks; returns the new length (0 for null).
/// Example: " \tab c " -> "ab c", 4.
int endstrip(char* s);
/// Removes trailing blanks. Example: "ab \t" -> "ab".
void striptrail(char* s);
/// Fills s with n spaces and terminates it at n (at 0 for a negative n); s
/// needs n + 1 bytes.
void setstr(char* s, int n);
/// Appends spaces until s holds size - 1 characters, then terminates it. A text
/// that already fills size - 1 bytes, or has no NUL within size, is unchanged.
/// Example: pad("ab", 5) -> "ab  ".
void pad(char* s, int size);
/// Keeps at most the first size - 1 characters, without their trailing spaces,
/// and terminates. Example: unpad("ab  cd", 5) -> "ab".
void unpad(char* s, int size);
/// Copies at most n characters of src into dst and fills with spaces to exactly
/// n characters; writes no terminator. 0 for a null src or dst or n below 1
/// (dst untouched), else 1. Example: padcopy("ab", d, 4) -> "ab  ".
[[nodiscard]] int padcopy(const char* src, char* dst, int n);
/// Copies the first n characters of src (fewer when src is shorter) without
/// their trailing spaces into dst and terminates it; dst needs n + 1 bytes. A
/// null src or n below 1 gives "". Example: stripcopy(d, "ab  cd", 4) -> "ab".
void stripcopy(char* dst, const char* src, int n);
/// In the first size - 1 bytes every NUL becomes a space; then s is terminated
/// at size - 1. Nothing happens for size below 1.
void blankline(char* s, int size);
/// Every comma becomes a full stop. Example: "1,5" -> "1.5".
void comma_to_decpt(char* s);
/// Cuts x off the end of s when s ends with it (case-sensitive).
/// Example: strip_suffix(".bak", "a.bak") -> "a".
void strip_suffix(const char* x, char* s);
/// Moves the first c of s by n places (right for positive n) and shifts the
/// characters in between by one place the other way. Nothing happens when c is
/// absent or NUL, n is 0, or the target lies outside the text.
/// Example: "ab-cd" with n 2 -> "abcd-"; n -2 -> "-abcd"; n 3 -> unchanged.
void ShiftChar(char* s, int n, char c);

/// The field s[from..to] (inclusive), without leading and trailing blanks,
/// equals word in full length, case-insensitive. The part of the field past the
/// end of s is empty. 0 when s or word is null, from is negative or to is below
/// from. Example: feq("ab  Volt ", 2, 8, "VOLT") == 1.
[[nodiscard]] int feq(const char* s, int from, int to, const char* word);
/// Copies the field s[from..to] without leading and trailing blanks into dst,
/// terminated, and returns its length; dst needs to - from + 2 bytes. An
/// all-blank field, one past the end of s, a null s, a negative from or to
/// below from give "" and 0; a null dst gives 0.
int fcopy(const char* s, int from, int to, char* dst);

/// For a text of len characters (cut at a NUL before len): when pos is below
/// len, 0 if s[pos] is a space, else the space-delimited word around pos: its
/// first and last index go to *start and *end, result 1. When pos is not below
/// len: 0 for len 0, else *start 0 and *end len - 1, result 1. 0, with nothing
/// written, for a null argument, a negative len or pos, or a len above 65536
/// (indexes that do not fit 16 bits). Example: findword("ab cd", 5, 4, ...) -> 3, 4.
[[nodiscard]] int findword(const char* s, int len, int pos, std::uint16_t* start,
                           std::uint16_t* end);
/// Index of the last character of the n-th word (words separated by spaces); 0
/// when s is null or empty, n is below 1 or there are fewer than n words.
/// Example: FindEndWord("ab  cde f", 2) == 6.
[[nodiscard]] int FindEndWord(const char* s, int n);

}  // namespace upd::str
