// ASCII case folding, locale-free: 'A'..'Z' fold to 'a'..'z' and every other
// byte, 128..255 included, stays as it is. In upd::str with the string helpers
// that build on it (strutil/strcompare.h).
#pragma once

#include <cstddef>
#include <string_view>

namespace upd::str {

/// 'A'..'Z' to 'a'..'z'; every other byte unchanged.
[[nodiscard]] constexpr char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// a equals b without regard to ASCII case, in full length.
[[nodiscard]] constexpr bool EqualFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace upd::str
