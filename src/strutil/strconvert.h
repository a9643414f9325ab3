// Heap copies, small conversions and character names.
//
// In namespace upd::str: call as str::replace(...) inside namespace upd (see
// strcompare.h for why the helpers are never called unqualified). New strings
// and arrays are malloc'd and the caller frees them with free(); every
// allocation failure gives the null or 0 result stated.
#pragma once

#include <array>

namespace upd::str {

/// *dst receives a heap copy of src (null for a null src), result 1; when memory
/// runs out *dst receives null and the result is 0; 0 for a null dst.
[[nodiscard]] int s_alloc(const char* src, char** dst);
/// New string: s without its trailing decimal digits; null for a null s or when
/// memory runs out. Example: "COM12" -> "COM", "42" -> "".
[[nodiscard]] char* StripTrailingInt(const char* s);
/// New string: s with the first occurrence of old replaced by with (an empty old
/// occurs at the start), or a copy of s when old does not occur; null when an
/// argument is null or memory runs out. Example: replace("ab", "X", "cabab") -> "cXab".
[[nodiscard]] char* replace(const char* old, const char* with, const char* s);
/// Puts p in front of the text in s, a buffer of size bytes; p must not overlap
/// s. 1 on success; 0, s unchanged, when p or s is null, size is below 2, p is
/// not shorter than size, or both together do not fit (combined length not
/// below size). An empty p changes nothing (1); an empty s, or one with no NUL
/// within size bytes, is replaced by p. Example: prepend("/mnt/", "a", 16) -> "/mnt/a".
[[nodiscard]] int prepend(const char* p, char* s, int size);
/// s, "<EMPTY>" for an empty s, "<NULL>" for a null s: safe for printing.
[[nodiscard]] const char* pstr(const char* s);
/// The hexadecimal number at the start of s as "%x" reads it: leading white
/// space, an optional sign and an optional 0x are passed over. 0 when s is null
/// or holds no hexadecimal number there. Only the low 32 bits are kept, so
/// "FFFFFFFF" and "-1" both give -1. Example: htoi(" 0x1fz") == 31, htoi("z") == 0.
[[nodiscard]] int htoi(const char* s);
/// |b - a| / a * 100 (negative for a negative a); for a == 0: 0 when b == 0,
/// else the largest finite double. Example: AbsPctDiff(50, 60) == 20.
[[nodiscard]] double AbsPctDiff(double a, double b);
/// "st", "nd", "rd" or "th" for n (by its magnitude when negative): "th" when
/// n % 100 is 11, 12 or 13. Example: 21 -> "st", 112 -> "th".
[[nodiscard]] const char* ord_suffix(int n);

/// Names of the ASCII control characters; "" for the printable ones.
inline constexpr std::array<const char*, 128> kAsciiMnemonic = [] {
  std::array<const char*, 128> names{};
  constexpr std::array<const char*, 32> kControls = {
      "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
      "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
      "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
  for (std::size_t i = 0; i < names.size(); ++i)
    names[i] = i < kControls.size() ? kControls[i] : "";
  names[127] = "DEL";
  return names;
}();

/// The table entry for c; "" for c from 128 on. Example: AsciiMnemonic('\r') == "CR".
[[nodiscard]] constexpr const char* AsciiMnemonic(unsigned char c) {
  return c < kAsciiMnemonic.size() ? kAsciiMnemonic[c] : "";
}

/// 1 for c from 32 up except 127 (bytes from 128 on count as printable); else 0.
[[nodiscard]] constexpr int IsPrintable(unsigned char c) {
  return c >= 32 && c != 127 ? 1 : 0;
}

/// Splits s at sep with mklist1. When every item is an optional sign and 1 to 10
/// decimal digits, nothing else, with a value that fits an int, *out receives a
/// new array of the values and the result is the item count; otherwise, and when
/// memory for the array runs out, 0 and *out is null. A null or empty s, a list
/// without items (or one mklist1 cannot make) and a null out give 0 with *out
/// unchanged. Example: "1,-2,+3" with ',' -> 3, {1, -2, 3}; "1,x" -> 0.
[[nodiscard]] int MakeIntArray(const char* s, char sep, int** out);

}  // namespace upd::str
