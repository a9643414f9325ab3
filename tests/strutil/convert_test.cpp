#include "strutil/strconvert.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "common/heapstr.h"
#include "strutil/nvlist.h"
#include "strutil/stralloc.h"

namespace upd::str {
namespace {

int Sentinel = 0;

std::string Take(char* s) {
  const MallocPtr<char> owned(s);
  return s != nullptr ? s : "<null>";
}

constexpr bool Named(unsigned char c, std::string_view name) {
  return AsciiMnemonic(c) == name;
}
static_assert(Named(0, "NUL") && Named(13, "CR") && Named(31, "US") && Named(32, "") &&
              Named(127, "DEL") && Named(200, ""));
static_assert(!IsPrintable(31) && IsPrintable(32) && !IsPrintable(127) && IsPrintable(128));

TEST(StrConvert, NewStrings) {
  EXPECT_EQ(Take(StripTrailingInt("COM12")) + "|" + Take(StripTrailingInt("42")), "COM|");
  EXPECT_EQ(Take(StripTrailingInt("a1b")) + Take(StripTrailingInt(nullptr)), "a1b<null>");
  EXPECT_EQ(Take(replace("ab", "X", "cabab")) + "|" + Take(replace("zz", "X", "cab")), "cXab|cab");
  EXPECT_EQ(Take(replace("", "X", "ab")) + Take(replace("ab", nullptr, "ab")), "Xab<null>");
  EXPECT_EQ(std::string(pstr(nullptr)) + pstr(""), "<NULL><EMPTY>");
  char other = 'x';
  char* copy = &other;
  EXPECT_EQ(s_alloc(nullptr, &copy), 1);
  EXPECT_EQ(copy, nullptr);
}

// Each buffer is exactly `size` bytes, so the sanitizer build sees any overrun.
TEST(StrConvert, PrependWithinItsBuffer) {
  const struct {
    const char* p;
    std::string_view bytes;  // initial content; a NUL follows when it fits
    int size, result;
    const char* text;
  } cases[] = {
      {"/mnt/", "a", 16, 1, "/mnt/a"}, {"", "a", 16, 1, "a"},      {"abc", "", 4, 1, "abc"},
      {"abcd", "", 4, 0, ""},          {"ab", "c", 3, 0, "c"},     {"ab", "c", 4, 1, "abc"},
      {"x", "a", 1, 0, "a"},           {"ab", "wxyz", 4, 1, "ab"}, {nullptr, "a", 4, 0, "a"}};
  for (const auto& c : cases) {
    const auto size = static_cast<std::size_t>(c.size);
    auto buffer = std::make_unique<char[]>(size);
    std::memcpy(buffer.get(), c.bytes.data(), std::min(c.bytes.size() + 1, size));
    EXPECT_EQ(prepend(c.p, buffer.get(), c.size), c.result) << pstr(c.p) << " + " << c.bytes;
    EXPECT_EQ(std::string(buffer.get(), ::strnlen(buffer.get(), size)), c.text);
  }
}

TEST(StrConvert, Numbers) {
  const struct {
    const char* s;
    int value;
  } hex[] = {{"1f", 31},   {" 0x1Fz", 31},           {"\n\t+a", 10}, {"-1", -1},
             {"Ab", 171},  {"FFFFFFFF", -1},         {"z", 0},       {"0xg", 0},
             {nullptr, 0}, {"123456789", 0x23456789}};
  for (const auto& h : hex) EXPECT_EQ(htoi(h.s), h.value) << pstr(h.s);
  EXPECT_EQ(AbsPctDiff(0, 0), 0);
  EXPECT_EQ(AbsPctDiff(50, 60), 20);
  EXPECT_EQ(AbsPctDiff(-50, -40), -20);
  EXPECT_EQ(AbsPctDiff(0, 1e-300), std::numeric_limits<double>::max());
  const struct {
    int n;
    const char* suffix;
  } ordinals[] = {{1, "st"},  {2, "nd"},  {3, "rd"},   {4, "th"},   {11, "th"},  {12, "th"},
                  {13, "th"}, {21, "st"}, {111, "th"}, {112, "th"}, {-22, "nd"}, {INT_MIN, "th"}};
  for (const auto& o : ordinals) EXPECT_STREQ(ord_suffix(o.n), o.suffix) << o.n;
}

TEST(StrConvert, MakeIntArray) {
  const struct {
    const char* s;
    char sep;
    const char* out;
  } cases[] = {
      {"1,-2,+3", ',', "1 -2 3 "}, {"2147483647;-2147483648;", ';', "2147483647 -2147483648 "},
      {"1,x", ',', "null"},        {"2147483648", ',', "null"},
      {"1,,2", ',', "null"},       {"+-5", ',', "null"},
      {"1 2", ' ', "unchanged"},   {"", ',', "unchanged"}};
  for (const auto& c : cases) {
    int* out = &Sentinel;
    const int count = MakeIntArray(c.s, c.sep, &out);
    std::string got = out == &Sentinel ? "unchanged" : out == nullptr ? "null" : "";
    for (int i = 0; i < count; ++i) got += std::to_string(out[i]) + " ";
    if (count > 0) std::free(out);
    EXPECT_EQ(got, c.out) << c.s;
  }
}

// Each allocation is made to fail in turn: the failure result comes back, and
// the sanitizer build reports anything left allocated. (The name/value
// splitters get the same treatment in their fuzz target.)
TEST(StrConvert, AllocationFailures) {
  const auto failEach = [](const char* name, auto run) {
    for (int successes = 0;; ++successes) {
      FailAllocationAfter(successes);
      const bool ok = run();
      if (AllocationFailurePending()) {  // every allocation was allowed
        FailAllocationAfter(-1);
        EXPECT_TRUE(ok) << name;
        return;
      }
      EXPECT_FALSE(ok) << name << " with allocation " << successes << " failing";
    }
  };
  failEach("MakeIntArray", [] {
    int* out = &Sentinel;
    const int count = MakeIntArray("1,2", ',', &out);
    EXPECT_NE(out, &Sentinel);  // the array, or null on failure
    if (out != &Sentinel) std::free(out);
    return count == 2;
  });
  const char* const words[] = {"MEASure", "VOLTage", "Gain", nullptr};
  failEach("nv_Explode", [&words] { return ElistPtr(nv_Explode(words)) != nullptr; });
}

}  // namespace
}  // namespace upd::str
