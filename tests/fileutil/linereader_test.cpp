// The line reader's rules line by line (tabs, carriage returns, blanks, comments,
// over-long lines, skip counts) are checked against a model by the nextline fuzz
// target; here its errors and the whole-file readers.
#include "fileutil/linereader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace upd {
namespace {

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
