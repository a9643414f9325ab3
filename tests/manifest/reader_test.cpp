#include "manifest/reader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "manifest/store.h"
#include "support/test_support.h"

namespace upd {
namespace {

class Reader : public ::testing::Test {
 protected:
  void TearDown() override { FreeAuxInfo(); }

  int Read(const std::string& content) {
    test::WriteFile(dir_ / "AuxInfo.txt", content);
    return ReadAuxInfo((dir_ / "AuxInfo.txt").c_str());
  }

  // The store as "[section]key=value|...", with each node's line when asked.
  // (Appends only: GCC 12 at -O3 flags "text" + std::string as an overlap.)
  static std::string Dump(bool lines = false) {
    std::string dump;
    const auto at = [lines](std::string& text, int line) -> std::string& {
      return lines ? text.append(":").append(std::to_string(line)) : text;
    };
    for (const AuxSection* s = aux_Section; s != nullptr; s = s->next) {
      at(dump.append("[").append(s->name), s->line).append("]");
      for (const AuxEntry* e = s->entries; e != nullptr; e = e->next)
        at(dump.append(e->name).append("=").append(e->value), e->line).append("|");
    }
    return dump;
  }

  test::TempDir dir_;
};

// How a line is split into name and value is the splitter's, checked on its own.
TEST_F(Reader, ReadsHeadersEntriesCommentsAndLineEndings) {
  const std::string bom = "\xEF\xBB\xBF", v251(251, 'v');
  const std::pair<std::string, std::string> cases[] = {
      {"SectionList\nSequence = Files, Restart\n; files\nCopy\nOperation = TransferFile\n\nR\n",
       "[SectionList]Sequence=Files, Restart|[Copy]Operation=TransferFile|[R]"},
      {"S\nK = 5 # five", "[S]K=5 # five|"},
      {"S\n[Main]", "[S][[Main]]"},
      {"S\n  Step1", "[S][  Step1]"},
      {bom + "# comment\nS\n", "[" + bom + "# comment][S]"},
      {bom + "S\nK = A\n", "[" + bom + "S]K=A|"},
      {"\n \n# only\n  ; comments", ""},
      {"S\n#" + std::string(299, 'c') + "\nK = " + v251, "[S]K=" + v251 + "|"},
  };
  for (const auto& [content, dump] : cases) {
    ASSERT_EQ(Read(content), 1) << content;
    EXPECT_EQ(Dump(), dump) << content;
  }
  // Blank, comment (a long one too) and CR LF lines all count.
  ASSERT_EQ(Read("; c\r\n\r\nA\r\n#" + std::string(300, 'c') + "\r\n  K = 1\r\n \t\nB\nL = 2"), 1);
  EXPECT_EQ(Dump(true), "[A:3]K=1:5|[B:7]L=2:8|");
}

// The costliest lines for their size: their nodes alone take 8 bytes per
// manifest byte on the 32-bit build (section lines) and on the 64-bit build
// (entries); strings, index and blocks may add only a fixed amount.
TEST_F(Reader, TheCostliestManifestsCostTheirNodesAndLittleMore) {
  constexpr std::size_t kLines = 100'000;
  for (const auto& [line, node] : {std::pair<std::string, std::size_t>{"S\n", sizeof(AuxSection)},
                                   {"K=1\n", sizeof(AuxEntry)}}) {
    std::string text = "S\n";
    for (std::size_t i = 0; i < kLines; ++i) text += line;
    ASSERT_EQ(Read(text), 1);
    EXPECT_LE(AuxStoreBytes(), (kLines + 1) * node + 96 * 1024) << line;
  }
}

}  // namespace
}  // namespace upd
