// The name/value list parsers of the string helpers on arbitrary text (up to
// the first NUL). The first input byte, when below 8, makes that allocation
// fail.
//
// Properties: every position an item records lies inside the text and points
// at what it names; every item has a name or a value; the plain list's texts
// all occur in the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "strutil/nvlist.h"
#include "strutil/stralloc.h"

namespace {

// Every position recorded lies inside the text and points at what it names.
void CheckItems(std::string_view text, const upd::str::nv* item) {
  using upd::str::kNvAbsent;
  const auto at = [&](std::uint16_t p, const char* s) {
    if (p == kNvAbsent) return s == nullptr;
    return p < text.size() && (s == nullptr || text.substr(p).starts_with(s));
  };
  for (; item != nullptr; item = item->next) {
    if (!at(item->name_at, item->name) || !at(item->value_at, item->value)) std::abort();
    if (item->name == nullptr && item->value == nullptr) std::abort();
    if (item->eq_at != kNvAbsent && (item->eq_at >= text.size() || text[item->eq_at] != '='))
      std::abort();
    if (item->semicolon_at != kNvAbsent &&
        (item->semicolon_at >= text.size() || text[item->semicolon_at] != ';'))
      std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(std::strlen(text.c_str()));  // the helpers see up to the first NUL
  const int fail = size > 0 && data[0] < 8 ? data[0] : -1;
  for (auto* parse : {upd::str::nvlist1, upd::str::nvlist2}) {
    upd::str::FailAllocationAfter(fail);
    upd::str::nv* items = nullptr;
    if (parse(text.c_str(), &items) > 0) CheckItems(text, items);
    upd::str::free_nvlist1(&items);
  }
  upd::str::FailAllocationAfter(fail);
  char** strings = nullptr;
  if (upd::str::nvlist(text.c_str(), &strings) == 1) {
    for (char** s = strings; *s != nullptr; ++s) {
      if (text.find(*s) == std::string::npos) std::abort();
    }
  }
  upd::str::free_nvlist(strings);
  upd::str::FailAllocationAfter(-1);
  return 0;
}
