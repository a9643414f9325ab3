#include "fileutil/linereader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace upd {
namespace {

using Lines = std::vector<std::pair<int, std::string>>;

// Every nextline result over `content` up to the end of input, with the buffer.
Lines ReadAll(const std::string& content, int size, int flags, int* skipped = nullptr) {
  std::FILE* stream = std::tmpfile();
  std::fwrite(content.data(), 1, content.size(), stream);
  std::rewind(stream);
  Lines lines;
  std::vector<char> buffer(static_cast<std::size_t>(size));
  for (int result = 0, count = 0; result != kLineEnd && result != kLineError;) {
    result = nextline(stream, buffer.data(), size, flags, &count);
    if (skipped != nullptr) *skipped += count;
    if (result != kLineEnd) lines.emplace_back(result, buffer.data());
  }
  std::fclose(stream);
  return lines;
}

TEST(NextLine, DeliversAndSkipsLinesAsTheReaderSeesThem) {
  // content, buffer size, flags, expected lines
  const std::tuple<std::string, int, int, Lines> cases[] = {
      {"x\ty\n", 256, 0, {{9, "x       y"}}},
      {"12345678\tz", 256, 0, {{17, "12345678        z"}}},
      {"a\r\nb\rc\r\n", 256, 0, {{1, "a"}, {2, "bc"}}},
      {"a\n\nb", 256, 0, {{1, "a"}, {0, ""}, {1, "b"}}},
      {"   \n# x\n  a b \t \n", 256, 0, {{0, ""}, {3, "# x"}, {5, "  a b"}}},
      {std::string("a\0b\n", 4), 256, 0, {{1, "a"}}},
      {"1234567 \t \nz", 8, 0, {{7, "1234567"}, {1, "z"}}},
      {"12345678\nnext", 8, 0, {{kLineTooLong, "1234567"}, {4, "next"}}},
      {"abc\t\nabc\tx", 8, 0, {{3, "abc"}, {kLineTooLong, "abc    "}}},
      {" \n#c\n", 256, 1, {{2, "#c"}}},
      {" \n#c\n", 256, 2, {{0, ""}}},
      // An over-long comment is skipped; an over-long entry is refused.
      {"#" + std::string(299, 'c') + "\nok", 256, 3, {{2, "ok"}}},
      {std::string(300, 'k'), 256, 3, {{kLineTooLong, std::string(255, 'k')}}},
      // Over-long behind blanks (or tabs, or a NUL) is still over-long, never blank.
      {std::string(255, ' ') + "K = v\nok",
       256,
       1,
       {{kLineTooLong, std::string(255, ' ')}, {2, "ok"}}},
      {std::string(32, '\t') + "x", 256, 3, {{kLineTooLong, std::string(255, ' ')}}},
      {std::string(1, '\0') + std::string(300, 'k'), 256, 1, {{kLineTooLong, ""}}}};
  for (const auto& [content, size, flags, expected] : cases) {
    EXPECT_EQ(ReadAll(content, size, flags), expected) << content.substr(0, 20) << " / " << flags;
  }
  int skipped = 0;
  EXPECT_EQ(ReadAll("\n   \n# x\n  ; y\na # b\n", 256, 3, &skipped), (Lines{{5, "a # b"}}));
  EXPECT_EQ(skipped, 4);
}

TEST(ReadFile, ReadErrorsBadArgumentsAndWholeFiles) {
  test::TempDir dir;
  char buffer[8];
  int skipped = 5;
  std::FILE* directory = std::fopen(dir.path().c_str(), "r");  // reads fail
  ASSERT_NE(directory, nullptr);
  EXPECT_EQ(nextline(directory, buffer, 8, 0, &skipped), kLineError);
  EXPECT_EQ(skipped, 0);
  EXPECT_EQ(nextline(directory, nullptr, 8, 0, &skipped), kLineError);
  EXPECT_EQ(nextline(directory, buffer, 1, 0, &skipped), kLineError);
  EXPECT_EQ(nextline(nullptr, buffer, 8, 0, nullptr), kLineError);
  std::fclose(directory);

  test::WriteFile(dir / "ok",
                  "Key value\r\n\n  Name(1,2)\nVer\t3\n" + std::string(511, 'z') + " \t ");
  LineList* lines = nullptr;
  LineList2* split = nullptr;
  ASSERT_EQ(ReadFile((dir / "ok").c_str(), &lines), 1);
  ASSERT_EQ(ReadFile2((dir / "ok").c_str(), &split), 1);
  const std::vector<std::pair<std::string, std::string>> expected = {{"Key", " value"},
                                                                     {"", ""},
                                                                     {"  Name", "(1,2)"},
                                                                     {"Ver", "     3"},
                                                                     {std::string(511, 'z'), ""}};
  std::vector<std::pair<std::string, std::string>> got;
  for (const LineList2* n = split; n != nullptr; n = n->next) got.emplace_back(n->word, n->rest);
  EXPECT_EQ(got, expected);
  EXPECT_STREQ(lines->next->next->text, "  Name(1,2)");
  FreeFile(&lines);
  FreeFile2(&split);
  EXPECT_TRUE(lines == nullptr && split == nullptr);

  test::WriteFile(dir / "empty", "");
  lines = reinterpret_cast<LineList*>(&dir);
  ASSERT_EQ(ReadFile((dir / "empty").c_str(), &lines), 1);
  EXPECT_EQ(lines, nullptr);

  test::WriteFile(dir / "512", "x\n" + std::string(512, 'y') + "\n");
  for (const std::string& path : {dir / "512", dir / "missing", dir.path()}) {
    lines = reinterpret_cast<LineList*>(&dir);
    split = reinterpret_cast<LineList2*>(&dir);
    EXPECT_EQ(ReadFile(path.c_str(), &lines), 0) << path;
    EXPECT_EQ(ReadFile2(path.c_str(), &split), 0) << path;
    EXPECT_EQ(lines, reinterpret_cast<LineList*>(&dir));
    EXPECT_EQ(split, reinterpret_cast<LineList2*>(&dir));
  }
}

}  // namespace
}  // namespace upd
