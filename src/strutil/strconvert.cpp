#include "strutil/strconvert.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

#include "common/heapstr.h"
#include "fileutil/lists.h"
#include "strutil/stralloc.h"

namespace upd::str {
namespace {

// Plain ASCII tests: <cctype> would consult the locale.
constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

constexpr int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr bool IsCSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// An optional sign and 1 to 10 digits whose value fits an int. atoi would
// silently give a wrong value for "9999999999".
bool ParseInt(std::string_view item, int& value) {
  const bool negative = !item.empty() && item.front() == '-';
  if (!item.empty() && (item.front() == '-' || item.front() == '+')) item.remove_prefix(1);
  if (item.empty() || item.size() > 10 || !std::all_of(item.begin(), item.end(), IsDigit)) {
    return false;
  }
  std::int64_t magnitude = 0;
  for (const char digit : item) magnitude = magnitude * 10 + (digit - '0');
  const std::int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value < std::numeric_limits<int>::min() ||
      signed_value > std::numeric_limits<int>::max()) {
    return false;
  }
  value = static_cast<int>(signed_value);
  return true;
}

}  // namespace

int s_alloc(const char* src, char** dst) {
  if (dst == nullptr) return 0;
  if (src == nullptr) {
    *dst = nullptr;
    return 1;
  }
  *dst = Copy(src);
  return *dst != nullptr ? 1 : 0;
}

char* StripTrailingInt(const char* s) {
  if (s == nullptr) return nullptr;
  std::string_view text(s);
  while (!text.empty() && IsDigit(text.back())) text.remove_suffix(1);
  return Copy(text);
}

char* replace(const char* old, const char* with, const char* s) {
  if (old == nullptr || with == nullptr || s == nullptr) return nullptr;
  const std::string_view text(s);
  const std::string_view from(old);
  const std::string_view to(with);
  const std::size_t at = text.find(from);
  if (at == std::string_view::npos) return Copy(text);
  const std::size_t size = text.size() - from.size() + to.size();
  auto* result = static_cast<char*>(Allocate(size + 1));
  if (result == nullptr) return nullptr;
  char* out = std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), result);
  out = std::copy(to.begin(), to.end(), out);
  out = std::copy(text.begin() + static_cast<std::ptrdiff_t>(at + from.size()), text.end(), out);
  *out = '\0';
  return result;
}

int prepend(const char* p, char* s, int size) {
  if (p == nullptr || s == nullptr || size < 2) return 0;
  const auto capacity = static_cast<std::size_t>(size);
  const std::size_t head = ::strnlen(p, capacity);
  if (head >= capacity) return 0;
  if (head == 0) return 1;
  std::size_t text = ::strnlen(s, capacity);
  if (text == capacity) text = 0;  // no terminator: nothing in it to keep
  if (head + text >= capacity) return 0;
  std::memmove(s + head, s, text);
  std::memcpy(s, p, head);
  s[head + text] = '\0';
  return 1;
}

const char* pstr(const char* s) {
  if (s == nullptr) return "<NULL>";
  return *s == '\0' ? "<EMPTY>" : s;
}

int htoi(const char* s) {
  if (s == nullptr) return 0;
  while (IsCSpace(*s)) ++s;
  const bool negative = *s == '-';
  if (*s == '-' || *s == '+') ++s;
  // "0x" counts as a prefix only when a digit follows; "0xg" reads as 0.
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && HexValue(s[2]) >= 0) s += 2;
  std::uint32_t value = 0;  // unsigned: overflow wraps instead of being undefined
  for (; HexValue(*s) >= 0; ++s) value = value * 16U + static_cast<std::uint32_t>(HexValue(*s));
  return static_cast<int>(negative ? 0U - value : value);
}

double AbsPctDiff(double a, double b) {
  if (a == 0.0) return b == 0.0 ? 0.0 : std::numeric_limits<double>::max();
  return (b > a ? b - a : a - b) / a * 100.0;
}

const char* ord_suffix(int n) {
  // Magnitude as unsigned: well defined for INT_MIN too.
  const unsigned magnitude = n < 0 ? 0U - static_cast<unsigned>(n) : static_cast<unsigned>(n);
  const unsigned tens = magnitude % 100U;
  if (tens >= 11U && tens <= 13U) return "th";
  switch (magnitude % 10U) {
    case 1U:
      return "st";
    case 2U:
      return "nd";
    case 3U:
      return "rd";
    default:
      return "th";
  }
}

int MakeIntArray(const char* s, char sep, int** out) {
  if (out == nullptr || s == nullptr || *s == '\0') return 0;
  const MklistPtr items(mklist1(s, sep));
  if (!items) return 0;
  std::size_t count = 0;
  while (items.get()[count] != nullptr) ++count;
  MallocPtr<int> values(static_cast<int*>(Allocate(count * sizeof(int))));
  *out = nullptr;
  if (!values) return 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!ParseInt(items.get()[i], values.get()[i])) return 0;
  }
  *out = values.release();
  return static_cast<int>(count);
}

}  // namespace upd::str
