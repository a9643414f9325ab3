#include "common/chartests.h"

#include <cstring>
#include <string_view>

namespace upd {

int IsWhiteSpace(unsigned char c) {
  return IsBlankChar(static_cast<char>(c)) ? 1 : 0;
}

int IsBlank(const char* s) {
  const char* rest = SkipSpaces(s);
  return rest == nullptr || *rest == '\0' ? 1 : 0;
}

int iscomm(const char* s) {
  const char* first = SkipSpaces(s);
  return first != nullptr && (*first == '#' || *first == ';') ? 1 : 0;
}

const char* SkipSpaces(const char* s) {
  if (s == nullptr) return nullptr;
  while (IsBlankChar(*s)) ++s;
  return s;
}

char* SkipSpaces(char* s) {
  if (s == nullptr) return nullptr;
  while (IsBlankChar(*s)) ++s;
  return s;
}

int CharInList(char c, const char* set) {
  // strchr would match the set's own terminator for c == '\0'.
  if (set == nullptr || c == '\0') return 0;
  return std::strchr(set, c) != nullptr ? 1 : 0;
}

int Suffix(const char* suffix, const char* s) {
  if (suffix == nullptr || *suffix == '\0') return 1;
  if (s == nullptr || *s == '\0') return 0;
  return std::string_view(s).ends_with(suffix) ? 1 : 0;
}

}  // namespace upd
