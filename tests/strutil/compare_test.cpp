#include "strutil/strcompare.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "strutil/strconvert.h"

namespace upd::str {
namespace {

TEST(StrCompare, Equality) {
  const struct {
    const char *a, *b;
    int streq, eq, eqwosp;
  } cases[] = {
      {"ABC", "abc", 0, 1, 1},          {nullptr, nullptr, 1, 1, 1}, {nullptr, "", 0, 0, 0},
      {"ab", "abc", 0, 0, 0},           {"\xC4", "\xE4", 0, 0, 0},   {"x\xC4Y", "X\xC4y", 0, 1, 1},
      {"O ut put", "OUTPUT ", 0, 0, 1}, {"[", "{", 0, 0, 0},         {"a b", "ab c", 0, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(streq(c.a, c.b), c.streq) << pstr(c.a) << " / " << pstr(c.b);
    EXPECT_EQ(eq(c.a, c.b), c.eq) << pstr(c.a) << " / " << pstr(c.b);
    EXPECT_EQ(eqwosp(c.a, c.b), c.eqwosp) << pstr(c.a) << " / " << pstr(c.b);
  }
  EXPECT_EQ(eqn("abX", "ABy", 2) + eqn("ab", "AB", 10) + eqn("x", "y", 0), 3);
  EXPECT_EQ(eqn("abX", "ABy", 3) + eqn("ab", "abc", 10) + eqn("x", nullptr, 0), 0);
  EXPECT_EQ(eql("Volt", 2, "amp", "VOLT"), 1);
  EXPECT_EQ(eql("Volt", 1, "amp", "VOLT") + eql("Volt", 9, "amp"), 0);
}

// The locale's tolower may fold bytes above 127; these helpers never do.
TEST(StrCompare, FoldsAsciiOnlyWhateverTheLocale) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  const char* chosen = nullptr;
  for (const char* name : {"de_DE.ISO-8859-1", "de_DE", "C.UTF-8"}) {
    if ((chosen = std::setlocale(LC_CTYPE, name)) != nullptr) break;
  }
  if (chosen == nullptr) GTEST_SKIP() << "no locale besides C is installed";
  EXPECT_EQ(eq("\xC4", "\xE4") + sub("\xE4", "x\xC4y") + suffix("\xE4", "\xC4"), 0);
  EXPECT_EQ(eq("A\xC4", "a\xC4"), 1);
  const StringList table[] = {{"\xE4rger", 1}, {nullptr, 2}};
  EXPECT_EQ(StringMatch("\xC4RGER", table), 2);
  EXPECT_EQ(StringMatch("\xE4RGER", table), 1);
  std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(StrCompare, PrefixAndSuffix) {
  const struct {
    const char *p, *s;
    int prefix, Prefix, suffix, beq;
  } cases[] = {{"me", "MEASure", 1, 0, 0, 1}, {"", nullptr, 1, 1, 1, 1},
               {"a", "", 0, 0, 0, 0},         {"URE", "measure", 0, 0, 1, 0},
               {"abc", "ab", 0, 0, 0, 0},     {"v", " \tVolt", 0, 0, 0, 1},
               {"v", "\n v", 0, 0, 1, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(prefix(c.p, c.s), c.prefix) << c.p << " / " << pstr(c.s);
    EXPECT_EQ(Prefix(c.p, c.s), c.Prefix) << c.p << " / " << pstr(c.s);
    EXPECT_EQ(suffix(c.p, c.s), c.suffix) << c.p << " / " << pstr(c.s);
    EXPECT_EQ(beq(c.s, c.p), c.beq) << c.p << " / " << pstr(c.s);
  }
}

TEST(StrCompare, Searches) {
  const auto at = [](const char* text, const char* found) {
    return found == nullptr ? -1 : static_cast<int>(found - text);
  };
  const struct {
    const char *hay, *needle;
    int strstr, stristr, substring, sub;
  } forward[] = {{"aXbxb", "xb", 3, 1, 1, 1},     {"abc", "", 3, 0, 1, 1},
                 {"", "", 0, -1, 0, 0},           {"ab", "abc", -1, -1, 0, 0},
                 {"a\xC4", "\xE4", -1, -1, 0, 0}, {"a", nullptr, -1, -1, 0, 0}};
  for (const auto& c : forward) {
    EXPECT_EQ(at(c.hay, strstr(c.hay, c.needle)), c.strstr) << c.hay;
    EXPECT_EQ(at(c.hay, stristr(c.hay, c.needle)), c.stristr) << c.hay;
    EXPECT_EQ(substring(c.needle, c.hay), c.substring) << c.hay;
    EXPECT_EQ(sub(c.needle, c.hay), c.sub) << c.hay;
  }
  // The text sits in a larger buffer whose bytes just outside it would match.
  const char buffer[] = "ab\0abAB-ab\0ab";
  const char* const text = buffer + 3;
  const char* const end = text + 7;  // the terminating NUL
  const struct {
    const char* needle;
    const char* from;
    int strstr_b, stristr_b;
  } backward[] = {{"ab", end, 5, 5},       {"ab", text + 4, 0, 2},  {"ab", text, 0, 0},
                  {"AB", text + 1, -1, 0}, {"B-a", text + 3, 3, 3}, {"B-a", text + 2, -1, -1},
                  {"", end, 7, 7},         {"abc", end, -1, -1},    {"ab", end + 1, -1, -1},
                  {"ab", buffer, -1, -1},  {nullptr, end, -1, -1}};
  for (const auto& c : backward) {
    EXPECT_EQ(at(text, strstr_b(text, c.needle, c.from)), c.strstr_b) << pstr(c.needle);
    EXPECT_EQ(at(text, stristr_b(text, c.needle, c.from)), c.stristr_b) << pstr(c.needle);
  }
}

TEST(StrCompare, StringMatch) {
  const StringList table[] = {{"on", 1}, {"ON", 3}, {"off", 0}, {nullptr, -1}};
  EXPECT_EQ(StringMatch("On", table) * 100 + StringMatch("auto", table), 99);
  EXPECT_EQ(StringMatch(nullptr, table) * 100 + StringMatch("on", nullptr), -100);
}

}  // namespace
}  // namespace upd::str
