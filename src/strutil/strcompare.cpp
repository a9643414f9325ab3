#include "strutil/strcompare.h"

#include <cstring>
#include <functional>

#include "common/chartests.h"

namespace upd::str {
namespace {

// Compares folded bytes ourselves instead of strcasecmp/tolower, which follow
// the process locale and may fold bytes above 127.
template <bool kFold>
constexpr bool SameChar(char a, char b) {
  if constexpr (kFold) return FoldAscii(a) == FoldAscii(b);
  return a == b;
}

// needle is a prefix of text.
template <bool kFold>
bool StartsWith(const char* text, const char* needle) {
  for (; *needle != '\0'; ++text, ++needle) {
    if (*text == '\0' || !SameChar<kFold>(*text, *needle)) return false;
  }
  return true;
}

template <bool kFold>
const char* Find(const char* hay, const char* needle) {
  for (const char* at = hay;; ++at) {
    if (StartsWith<kFold>(at, needle)) return at;
    if (*at == '\0') return nullptr;
  }
}

template <bool kFold>
const char* FindBackward(const char* start, const char* needle, const char* from) {
  if (start == nullptr || needle == nullptr || from == nullptr) return nullptr;
  const char* const end = start + std::strlen(start);
  // std::less orders any two pointers, so a `from` outside the text is refused
  // before it is ever dereferenced.
  const std::less<const char*> before;
  if (before(from, start) || before(end, from)) return nullptr;
  for (const char* at = from;; --at) {
    if (StartsWith<kFold>(at, needle)) return at;
    if (at == start) return nullptr;
  }
}

int EqualUpTo(const char* a, const char* b, std::size_t limit) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  for (std::size_t i = 0; i < limit; ++i) {
    if (!SameChar<true>(a[i], b[i])) return 0;
    if (a[i] == '\0') break;
  }
  return 1;
}

int Contains(const char* needle, const char* hay, bool fold) {
  if (needle == nullptr || hay == nullptr || *hay == '\0') return 0;
  return (fold ? Find<true>(hay, needle) : Find<false>(hay, needle)) != nullptr ? 1 : 0;
}

template <bool kFold>
int HasPrefix(const char* p, const char* s) {
  if (p == nullptr || *p == '\0') return 1;
  if (s == nullptr || *s == '\0') return 0;
  return StartsWith<kFold>(s, p) ? 1 : 0;
}

}  // namespace

int streq(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  return std::strcmp(a, b) == 0 ? 1 : 0;
}

int eq(const char* a, const char* b) {
  return EqualUpTo(a, b, SIZE_MAX);
}

int eqn(const char* a, const char* b, int n) {
  return EqualUpTo(a, b, n > 0 ? static_cast<std::size_t>(n) : 0);
}

int eqwosp(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  for (;; ++a, ++b) {
    while (*a == ' ') ++a;
    while (*b == ' ') ++b;
    if (!SameChar<true>(*a, *b)) return 0;
    if (*a == '\0') return 1;
  }
}

int prefix(const char* p, const char* s) {
  return HasPrefix<true>(p, s);
}

int Prefix(const char* p, const char* s) {
  return HasPrefix<false>(p, s);
}

int suffix(const char* x, const char* s) {
  if (x == nullptr || *x == '\0') return 1;
  if (s == nullptr || *s == '\0') return 0;
  const std::string_view text(s);
  const std::string_view tail(x);
  return text.size() >= tail.size() && EqualFolded(text.substr(text.size() - tail.size()), tail)
             ? 1
             : 0;
}

int beq(const char* s, const char* p) {
  return prefix(p, SkipSpaces(s));
}

int substring(const char* needle, const char* hay) {
  return Contains(needle, hay, false);
}

int sub(const char* needle, const char* hay) {
  return Contains(needle, hay, true);
}

const char* stristr(const char* hay, const char* needle) {
  if (hay == nullptr || needle == nullptr || *hay == '\0') return nullptr;
  return Find<true>(hay, needle);
}

char* stristr(char* hay, const char* needle) {
  return const_cast<char*>(str::stristr(static_cast<const char*>(hay), needle));
}

const char* strstr(const char* hay, const char* needle) {
  if (hay == nullptr || needle == nullptr) return nullptr;
  if (*needle == '\0') return hay + std::strlen(hay);
  return Find<false>(hay, needle);
}

char* strstr(char* hay, const char* needle) {
  return const_cast<char*>(str::strstr(static_cast<const char*>(hay), needle));
}

const char* strstr_b(const char* start, const char* needle, const char* from) {
  return FindBackward<false>(start, needle, from);
}

char* strstr_b(char* start, const char* needle, char* from) {
  return const_cast<char*>(FindBackward<false>(start, needle, from));
}

const char* stristr_b(const char* start, const char* needle, const char* from) {
  return FindBackward<true>(start, needle, from);
}

char* stristr_b(char* start, const char* needle, char* from) {
  return const_cast<char*>(FindBackward<true>(start, needle, from));
}

std::intptr_t StringMatch(const char* name, const StringList* table) {
  if (table == nullptr) return 0;
  for (; table->name != nullptr; ++table) {
    if (eq(name, table->name) != 0) return table->value;
  }
  return table->value;
}

}  // namespace upd::str
