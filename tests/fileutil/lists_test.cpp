#include "fileutil/lists.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fileutil/chartests.h"

namespace upd {
namespace {

TEST(CharTests, BlanksAreSpaceAndTabOnly) {
  const struct {
    const char* s;
    int blank;
    int comment;
  } lines[] = {{nullptr, 1, 0}, {" \t ", 1, 0},  {"\r", 0, 0},
               {"  ; y", 0, 1}, {"a # b", 0, 0}, {"\t#", 0, 1}};
  for (const auto& l : lines) {
    EXPECT_EQ(IsBlank(l.s), l.blank) << (l.s ? l.s : "null");
    EXPECT_EQ(iscomm(l.s), l.comment) << (l.s ? l.s : "null");
  }
  EXPECT_EQ(IsWhiteSpace('\v'), 0);
  EXPECT_EQ(CharInList('\0', " \t("), 0);
  EXPECT_EQ(CharInList('a', nullptr), 0);
  EXPECT_EQ(Suffix(".c", "main.cpp"), 0);
  EXPECT_EQ(Suffix(".cpp", "main.cpp"), 1);
  EXPECT_EQ(Suffix("", "x"), 1);
  EXPECT_EQ(Suffix(".c", ""), 0);
  EXPECT_EQ(Suffix("main.cpp", "n.cpp"), 0);
}

TEST(SplitString, KeepsEveryCharacter) {
  const struct {
    const char* s;
    const char* word;
    const char* rest;
  } cases[] = {{"  Key value", "  Key", " value"},
               {"Name(1,2)", "Name", "(1,2)"},
               {"(x) y", "(x)", " y"},
               {" \t(", " \t(", ""},
               {nullptr, "", ""}};
  for (const auto& c : cases) {
    char* word = nullptr;
    char* rest = nullptr;
    ASSERT_EQ(SplitString(c.s, " \t(", &word, &rest), 1);
    EXPECT_STREQ(word, c.word);
    EXPECT_STREQ(rest, c.rest);
    std::free(word);
    std::free(rest);
  }
}

std::optional<std::vector<std::string>> Items(const char* s, char delimiter) {
  const MklistPtr list(mklist1(s, delimiter));
  if (!list) return std::nullopt;
  std::vector<std::string> items;
  for (char** item = list.get(); *item != nullptr; ++item) items.emplace_back(*item);
  return items;
}

TEST(Mklist, SplitsAndTrimsItems) {
  using V = std::vector<std::string>;
  const struct {
    const char* s;
    char delimiter;
    std::optional<V> items;
  } cases[] = {
      {" A , B ", ',', V{"A", "B"}}, {"A", ',', V{"A"}},        {"a,,b", ',', V{"a", "", "b"}},
      {"a,b, \t", ',', V{"a", "b"}}, {",a", ',', V{"", "a"}},   {"a b;c", ';', V{"a b", "c"}},
      {"A, B", ' ', std::nullopt},   {"A", '\0', std::nullopt}, {"  ", ',', std::nullopt},
      {nullptr, ',', std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Items(c.s, c.delimiter), c.items) << (c.s ? c.s : "null") << " / " << +c.delimiter;
  }
  char refused[] = "a\tb";
  int offsets[2] = {};
  EXPECT_EQ(mklist(refused, offsets, '\t'), -1);
  EXPECT_STREQ(refused, "a\tb");
}

}  // namespace
}  // namespace upd
