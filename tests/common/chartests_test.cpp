#include "common/chartests.h"

#include <gtest/gtest.h>

#include <tuple>

namespace upd {
namespace {

TEST(CharTests, BlanksAreSpaceAndTabOnly) {
  // line, IsBlank, iscomm
  const std::tuple<const char*, int, int> lines[] = {{nullptr, 1, 0}, {" \t ", 1, 0},
                                                     {"\r", 0, 0},    {"  ; y", 0, 1},
                                                     {"a # b", 0, 0}, {"\t#", 0, 1}};
  for (const auto& [s, blank, comment] : lines) {
    EXPECT_EQ(IsBlank(s), blank) << (s ? s : "null");
    EXPECT_EQ(iscomm(s), comment) << (s ? s : "null");
  }
  EXPECT_EQ(IsWhiteSpace('\v'), 0);
  EXPECT_EQ(CharInList('\0', " \t("), 0);
  EXPECT_EQ(CharInList('a', nullptr), 0);
  EXPECT_EQ(Suffix(".c", "main.cpp"), 0);
  EXPECT_EQ(Suffix(".cpp", "main.cpp"), 1);
  EXPECT_EQ(Suffix("", "x"), 1);
  EXPECT_EQ(Suffix("main.cpp", "n.cpp"), 0);
}

}  // namespace
}  // namespace upd
