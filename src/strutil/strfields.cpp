#include "strutil/strfields.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/chartests.h"
#include "strutil/strcompare.h"

namespace upd::str {
namespace {

std::size_t WithoutTrailingSpaces(const char* s, std::size_t n) {
  while (n > 0 && s[n - 1] == ' ') --n;
  return n;
}

// The blank-trimmed field s[from..to]; only the part inside the text counts,
// and strnlen keeps the scan from running past `to`.
std::string_view Field(const char* s, int from, int to) {
  if (s == nullptr || from < 0 || to < from) return {};
  const std::size_t len = ::strnlen(s, static_cast<std::size_t>(to) + 1);
  const auto first = static_cast<std::size_t>(from);
  if (first >= len) return {};
  return TrimBlanks(std::string_view(s + first, len - first));
}

}  // namespace

int endstrip(char* s) {
  if (s == nullptr) return 0;
  const std::string_view kept = TrimBlanks(s);
  std::memmove(s, kept.data(), kept.size());
  s[kept.size()] = '\0';
  return static_cast<int>(kept.size());
}

void striptrail(char* s) {
  if (s == nullptr) return;
  std::size_t n = std::strlen(s);
  while (n > 0 && IsBlankChar(s[n - 1])) --n;
  s[n] = '\0';
}

void setstr(char* s, int n) {
  if (s == nullptr) return;
  const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
  std::memset(s, ' ', count);
  s[count] = '\0';
}

void pad(char* s, int size) {
  if (s == nullptr || size < 1) return;
  const auto last = static_cast<std::size_t>(size - 1);
  const std::size_t len = ::strnlen(s, last);
  if (len == last) return;  // full already, or no terminator to trust
  std::memset(s + len, ' ', last - len);
  s[last] = '\0';
}

void unpad(char* s, int size) {
  if (s == nullptr || size < 1) return;
  s[WithoutTrailingSpaces(s, ::strnlen(s, static_cast<std::size_t>(size - 1)))] = '\0';
}

int padcopy(const char* src, char* dst, int n) {
  if (src == nullptr || dst == nullptr || n < 1) return 0;
  const auto width = static_cast<std::size_t>(n);
  const std::size_t len = ::strnlen(src, width);
  std::memmove(dst, src, len);
  std::memset(dst + len, ' ', width - len);
  return 1;
}

void stripcopy(char* dst, const char* src, int n) {
  if (dst == nullptr) return;
  std::size_t len = 0;
  if (src != nullptr && n > 0) {
    len = WithoutTrailingSpaces(src, ::strnlen(src, static_cast<std::size_t>(n)));
    std::memmove(dst, src, len);
  }
  dst[len] = '\0';
}

void blankline(char* s, int size) {
  if (s == nullptr || size < 1) return;
  const auto last = static_cast<std::size_t>(size - 1);
  std::replace(s, s + last, '\0', ' ');
  s[last] = '\0';
}

void comma_to_decpt(char* s) {
  if (s == nullptr) return;
  for (; *s != '\0'; ++s) {
    if (*s == ',') *s = '.';
  }
}

void strip_suffix(const char* x, char* s) {
  if (x == nullptr || s == nullptr) return;
  const std::string_view text(s);
  if (text.ends_with(x)) s[text.size() - std::strlen(x)] = '\0';
}

void ShiftChar(char* s, int n, char c) {
  if (s == nullptr || n == 0 || c == '\0') return;
  const std::ptrdiff_t len = static_cast<std::ptrdiff_t>(std::strlen(s));
  const char* found = std::strchr(s, c);
  if (found == nullptr) return;
  const std::ptrdiff_t from = found - s;
  const std::ptrdiff_t to = from + n;
  if (to < 0 || to >= len) return;
  if (n > 0) {
    std::memmove(s + from, s + from + 1, static_cast<std::size_t>(n));
  } else {
    std::memmove(s + to + 1, s + to, static_cast<std::size_t>(-n));
  }
  s[to] = c;
}

int feq(const char* s, int from, int to, const char* word) {
  if (s == nullptr || word == nullptr || from < 0 || to < from) return 0;
  return EqualFolded(Field(s, from, to), word) ? 1 : 0;
}

int fcopy(const char* s, int from, int to, char* dst) {
  if (dst == nullptr) return 0;
  const std::string_view field = Field(s, from, to);
  if (!field.empty()) std::memmove(dst, field.data(), field.size());
  dst[field.size()] = '\0';
  return static_cast<int>(field.size());
}

int findword(const char* s, int len, int pos, std::uint16_t* start, std::uint16_t* end) {
  if (s == nullptr || start == nullptr || end == nullptr || len < 0 || pos < 0 || len > 65536) {
    return 0;
  }
  const int n = static_cast<int>(::strnlen(s, static_cast<std::size_t>(len)));
  if (pos >= n) {
    if (n == 0) return 0;
    *start = 0;
    *end = static_cast<std::uint16_t>(n - 1);
    return 1;
  }
  if (s[pos] == ' ') return 0;
  int first = pos;
  while (first > 0 && s[first - 1] != ' ') --first;
  int last = pos;
  while (last + 1 < n && s[last + 1] != ' ') ++last;
  *start = static_cast<std::uint16_t>(first);
  *end = static_cast<std::uint16_t>(last);
  return 1;
}

int FindEndWord(const char* s, int n) {
  if (s == nullptr || n < 1) return 0;
  int words = 0;
  for (const char* at = s; *at != '\0';) {
    while (*at == ' ') ++at;
    if (*at == '\0') break;
    while (*at != '\0' && *at != ' ') ++at;
    if (++words == n) return static_cast<int>(at - s) - 1;
  }
  return 0;
}

}  // namespace upd::str
