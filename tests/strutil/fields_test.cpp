#include "strutil/strfields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace upd::str {
namespace {

TEST(StrFields, InPlaceEdits) {
  const struct {
    void (*edit)(char*);
    const char *in, *out;
  } cases[] = {
      {[](char* s) { EXPECT_EQ(endstrip(s), 4); }, " \tab c \t", "ab c"},
      {[](char* s) { striptrail(s); }, " a \t", " a"},
      {[](char* s) { setstr(s, 3); }, "abcdef", "   "},
      {[](char* s) { pad(s, 5); }, "ab", "ab  "},
      {[](char* s) { unpad(s, 5); }, "ab  cd", "ab"},
      {[](char* s) { comma_to_decpt(s); }, "1,5,", "1.5."},
      {[](char* s) { strip_suffix(".bak", s); }, "a.bak", "a"},
      {[](char* s) { ShiftChar(s, 2, '-'); }, "ab-cd", "abcd-"},
      {[](char* s) { ShiftChar(s, 3, '-'); }, "ab-cd", "ab-cd"},
      {[](char* s) { ShiftChar(s, -2, '-'); }, "ab-cd", "-abcd"},
      {[](char* s) { ShiftChar(s, 1, '-'); }, "a-b-", "ab--"},
  };
  for (const auto& c : cases) {
    char buffer[16] = {};
    std::strcpy(buffer, c.in);
    c.edit(buffer);
    EXPECT_STREQ(buffer, c.out) << c.in;
  }
}

// Heap buffers of exactly the size passed, without a terminator: the sanitizer
// build catches any access past them.
TEST(StrFields, SizedBuffersStayInside) {
  const auto buffer = [](const char* bytes, std::size_t size) {
    auto b = std::make_unique<char[]>(size);
    std::memcpy(b.get(), bytes, size);
    return b;
  };
  auto full = buffer("abcd", 4);
  pad(full.get(), 4);
  EXPECT_EQ(std::string(full.get(), 4), "abcd");
  unpad(full.get(), 4);
  EXPECT_STREQ(full.get(), "abc");
  auto holes = buffer("a\0b\0\0", 5);
  blankline(holes.get(), 5);
  EXPECT_STREQ(holes.get(), "a b ");
  char out[6] = "#####";
  EXPECT_EQ(padcopy("ab", out, 4), 1);
  EXPECT_STREQ(out, "ab  #");  // no terminator written
  EXPECT_EQ(padcopy("ab", out, 0) + padcopy(nullptr, out, 2), 0);
  auto source = buffer("ab c  ", 6);
  stripcopy(out, source.get(), 6);
  EXPECT_STREQ(out, "ab c");
}

TEST(StrFields, FieldsAndWords) {
  const struct {
    int from, to;
    const char *word, *copy;
    int feq;
  } fields[] = {{2, 8, "VOLT", "Volt", 1}, {2, 40, "volt", "Volt", 1}, {9, 12, "", "", 1},
                {0, 0, "ab", "a", 0},      {5, 4, "", "", 0},          {-1, 3, "ab", "", 0}};
  for (const auto& f : fields) {
    char out[16] = "#";
    EXPECT_EQ(feq("ab  Volt ", f.from, f.to, f.word), f.feq) << f.from << ".." << f.to;
    EXPECT_EQ(fcopy("ab  Volt ", f.from, f.to, out), static_cast<int>(std::strlen(f.copy)));
    EXPECT_STREQ(out, f.copy) << f.from << ".." << f.to;
  }
  const struct {
    const char* s;
    int len, pos, result, start, end;
  } words[] = {{"ab cd", 5, 4, 1, 3, 4}, {"ab cd", 5, 2, 0, 0, 0}, {"ab cd", 5, 5, 1, 0, 4},
               {"ab cd", 3, 1, 1, 0, 1}, {"", 0, 0, 0, 0, 0},      {"ab", 10, 5, 1, 0, 1},
               {"ab", 2, -1, 0, 0, 0},   {"ab", 70000, 1, 0, 0, 0}};
  for (const auto& w : words) {
    std::uint16_t start = 0;
    std::uint16_t end = 0;
    EXPECT_EQ(findword(w.s, w.len, w.pos, &start, &end), w.result) << w.s << " @" << w.pos;
    EXPECT_EQ(start * 1000 + end, w.start * 1000 + w.end) << w.s << " @" << w.pos;
  }
  std::uint16_t end = 0;
  EXPECT_EQ(findword("ab", 2, 1, nullptr, &end), 0);
  const struct {
    const char* s;
    int n, end;
  } ends[] = {{"ab  cde f", 1, 1}, {"ab  cde f", 2, 6}, {"ab  cde f", 3, 8}, {"ab  cde f", 4, 0},
              {"  a ", 1, 2},      {"a", 0, 0},         {nullptr, 1, 0}};
  for (const auto& e : ends) EXPECT_EQ(FindEndWord(e.s, e.n), e.end) << e.n;
}

}  // namespace
}  // namespace upd::str
