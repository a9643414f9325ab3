#include "fileutil/lists.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace upd {
namespace {

std::optional<std::vector<std::string>> Items(const char* s, char delimiter) {
  const MklistPtr list(mklist1(s, delimiter));
  if (!list) return std::nullopt;
  std::vector<std::string> items;
  for (char** item = list.get(); *item != nullptr; ++item) items.emplace_back(*item);
  return items;
}

TEST(Mklist, SplitsAndTrimsItems) {
  using V = std::vector<std::string>;
  const std::tuple<const char*, char, std::optional<V>> cases[] = {
      {" A , B ", ',', V{"A", "B"}}, {"a,,b", ',', V{"a", "", "b"}}, {"a,b,", ',', V{"a", "b"}},
      {"a,b, \t", ',', V{"a", "b"}}, {",a", ',', V{"", "a"}},        {"a b;c", ';', V{"a b", "c"}},
      {"A, B", ' ', std::nullopt},   {"A", '\0', std::nullopt},      {"  ", ',', std::nullopt},
      {nullptr, ',', std::nullopt},
  };
  for (const auto& [s, delimiter, items] : cases) {
    EXPECT_EQ(Items(s, delimiter), items) << (s ? s : "null") << " / " << +delimiter;
  }
  char refused[] = "a\tb";
  int offsets[2] = {};
  EXPECT_EQ(mklist(refused, offsets, '\t'), -1);
  EXPECT_STREQ(refused, "a\tb");
}

}  // namespace
}  // namespace upd
