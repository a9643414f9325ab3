// The name/value list parsers of the string helpers on arbitrary text (up to
// the first NUL). The first input byte, when below 8, makes that allocation
// fail.
//
// Properties: the count returned is the list's length (0 with no list); every
// position an item records lies inside the text and points at what it names
// (names and values hold no '=' or ';'); every item has a name or a value; a
// semicolon is flagged exactly when its position is recorded. The plain list
// has one text per '=', each holding exactly one '=' and found in the text; it
// fails only when an allocation was made to fail.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "strutil/nvlist.h"
#include "strutil/stralloc.h"

namespace {

using upd::fuzz::Require;

void CheckItems(std::string_view text, const upd::str::nv* item, int count) {
  using upd::str::kNvAbsent;
  const auto holds = [&](std::uint16_t p, const char* s) {
    if (p == kNvAbsent || s == nullptr) return (p == kNvAbsent) == (s == nullptr);
    return p < text.size() && text.substr(p).starts_with(s) && std::strpbrk(s, "=;") == nullptr;
  };
  const auto at = [&](std::uint16_t p, char c) {
    return p == kNvAbsent || (p < text.size() && text[p] == c);
  };
  for (; item != nullptr; item = item->next, --count) {
    Require(item->name != nullptr || item->value != nullptr, "an item without name and value");
    Require(holds(item->name_at, item->name) && holds(item->value_at, item->value),
            "an item's text is not where its position says");
    Require(at(item->eq_at, '=') && at(item->semicolon_at, ';'), "a wrong '=' or ';' position");
    Require((item->semicolon_at != kNvAbsent) ==
                ((item->flags & item->flags2 & upd::str::kNvSemicolon) != 0),
            "the semicolon flag and position disagree");
  }
  Require(count == 0, "the count is not the list's length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(upd::fuzz::Bytes(data, size));
  text.resize(std::strlen(text.c_str()));  // the helpers see up to the first NUL
  const int fail = size > 0 && data[0] < 8 ? data[0] : -1;
  for (auto* parse : {upd::str::nvlist1, upd::str::nvlist2}) {
    upd::str::FailAllocationAfter(fail);
    upd::str::nv* items = nullptr;
    const int count = parse(text.c_str(), &items);
    Require(count >= 0 && (count > 0) == (items != nullptr), "a count without a list");
    CheckItems(text, items, count);
    upd::str::free_nvlist1(&items);
  }
  upd::str::FailAllocationAfter(fail);
  char** strings = nullptr;
  if (upd::str::nvlist(text.c_str(), &strings) == 1) {
    auto equals = std::count(text.begin(), text.end(), '=');
    for (char** s = strings; *s != nullptr; ++s, --equals) {
      Require(std::count(*s, *s + std::strlen(*s), '=') == 1, "a text without exactly one '='");
      Require(text.find(*s) != std::string::npos, "a text that is not in the input");
    }
    Require(equals == 0, "not one text per '='");
  } else {
    Require(fail >= 0 && strings == nullptr, "failed without a failed allocation");
  }
  upd::str::free_nvlist(strings);
  upd::str::FailAllocationAfter(-1);
  return 0;
}
