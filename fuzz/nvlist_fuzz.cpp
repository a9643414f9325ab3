// The name/value list parsers on text up to the first NUL; a first byte below
// 8 makes that allocation fail.
//
// Properties: the count is the list's length (0 with no list); every item has
// a name or a value, each recorded position lies in the text and points at what
// it names (names and values hold no '=' or ';'); the semicolon flag is set
// exactly when its position is recorded. nvlist gives one text per '=', each
// with exactly one '=' and found in the text, and fails only when an allocation
// was made to fail.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "strutil/nvlist.h"
#include "strutil/stralloc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace str = upd::str;
  using upd::fuzz::Require;
  const std::string text = upd::fuzz::CText(data, size);
  const std::string_view view = text;
  const int fail = size > 0 && data[0] < 8 ? data[0] : -1;
  const auto holds = [&](std::uint16_t p, const char* s) {
    if (p == str::kNvAbsent || s == nullptr) return (p == str::kNvAbsent) == (s == nullptr);
    return p < view.size() && view.substr(p).starts_with(s) && std::strpbrk(s, "=;") == nullptr;
  };
  const auto at = [&](std::uint16_t p, char c) {
    return p == str::kNvAbsent || (p < view.size() && view[p] == c);
  };
  for (auto* parse : {str::nvlist1, str::nvlist2}) {
    str::FailAllocationAfter(fail);
    str::nv* items = nullptr;
    int count = parse(text.c_str(), &items);
    Require(count >= 0 && (count > 0) == (items != nullptr), "a count without a list");
    for (const str::nv* i = items; i != nullptr; i = i->next, --count) {
      Require(i->name != nullptr || i->value != nullptr, "an item without name and value");
      Require(holds(i->name_at, i->name) && holds(i->value_at, i->value),
              "an item's text is not where its position says");
      Require(at(i->eq_at, '=') && at(i->semicolon_at, ';'), "a wrong '=' or ';' position");
      Require((i->semicolon_at != str::kNvAbsent) == ((i->flags & i->flags2 & str::kNvSemicolon) != 0),
              "the semicolon flag and position disagree");
    }
    Require(count == 0, "the count is not the list's length");
    str::free_nvlist1(&items);
  }
  str::FailAllocationAfter(fail);
  char** strings = nullptr;
  if (str::nvlist(text.c_str(), &strings) == 1) {
    auto equals = std::count(text.begin(), text.end(), '=');
    for (char** s = strings; *s != nullptr; ++s, --equals) {
      Require(std::count(*s, *s + std::strlen(*s), '=') == 1, "a text without exactly one '='");
      Require(text.find(*s) != std::string::npos, "a text that is not in the input");
    }
    Require(equals == 0, "not one text per '='");
  } else {
    Require(fail >= 0 && strings == nullptr, "failed without a failed allocation");
  }
  str::free_nvlist(strings);
  str::FailAllocationAfter(-1);
  return 0;
}
