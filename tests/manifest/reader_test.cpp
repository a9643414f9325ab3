#include "manifest/reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "manifest/store.h"
#include "support/test_support.h"

namespace upd {
namespace {

constexpr const char* kManifest =
    "SectionList\nSequence = Files, Restart\nFiles = CopyApp, CopyLib\n; application files\n"
    "CopyApp\nOperation = TransferFile\nSrcDir = /mnt/firmware\n\nRestart\nOperation = Reboot\n";

class Reader : public ::testing::Test {
 protected:
  void TearDown() override { FreeAuxInfo(); }

  int Read(const std::string& content) {
    test::WriteFile(dir_ / "AuxInfo.txt", content);
    return ReadAuxInfo((dir_ / "AuxInfo.txt").c_str());
  }

  // The whole store as "[section]key=value|..." in store order.
  static std::string Dump() {
    std::string dump;
    for (const AuxSection* s = aux_Section; s != nullptr; s = s->next) {
      dump.append(1, '[').append(s->name).append(1, ']');
      for (const AuxEntry* e = s->entries; e != nullptr; e = e->next) {
        dump += std::string(e->name) + "=" + e->value + "|";
      }
    }
    return dump;
  }

  test::TempDir dir_;
};

TEST_F(Reader, ReadsHeadersEntriesCommentsAndLineEndings) {
  ASSERT_EQ(Read(kManifest), 1);
  EXPECT_EQ(Dump(),
            "[SectionList]Sequence=Files, Restart|Files=CopyApp, CopyLib|"
            "[CopyApp]Operation=TransferFile|SrcDir=/mnt/firmware|[Restart]Operation=Reboot|");
  std::string crlf;
  for (const char* p = kManifest; *p != '\0'; ++p) crlf += *p == '\n' ? "\r\n" : std::string(1, *p);
  const std::string lf = Dump();
  ASSERT_EQ(Read(crlf), 1);
  EXPECT_EQ(Dump(), lf);

  const std::string bom = "\xEF\xBB\xBF";
  std::string comment300(300, 'c');
  comment300.front() = '#';
  // content, store
  const std::pair<std::string, std::string> cases[] = {
      {"S\nKey\t=\tValue  ", "[S]Key=Value|"},
      {"S\nURL = a=b", "[S]URL=a=b|"},
      {"S\nKey =", "[S]Key=|"},
      {"S\n= x", "[S]=x|"},
      {"S\nK = 5 # five", "[S]K=5 # five|"},
      {"S\n[Main]", "[S][[Main]]"},
      {"S\n  Step1", "[S][  Step1]"},
      {bom + "# comment\nS\n", "[" + bom + "# comment][S]"},
      {bom + "S\nK = A\n", "[" + bom + "S]K=A|"},
      {"", ""},
      {"\n \n# only\n  ; comments", ""},
      {"S\n" + comment300 + "\nK = " + std::string(251, 'v'),
       "[S]K=" + std::string(251, 'v') + "|"},
  };
  for (const auto& [content, dump] : cases) {
    ASSERT_EQ(Read(content), 1) << content;
    EXPECT_EQ(Dump(), dump) << content;
  }
}

TEST_F(Reader, FailuresLeaveTheStoreAsItWas) {
  ASSERT_EQ(Read("Kept\nK = v\n"), 1);
  for (const std::string& content : {
           std::string("K = v\nS\n"),          // entry before the first header
           "S\nK = " + std::string(252, 'v'),  // 256 characters
           "S\nK = " + std::string(296, 'v'),  // 300 characters
       }) {
    EXPECT_EQ(Read(content), 0) << content.substr(0, 20);
  }
  EXPECT_EQ(ReadAuxInfo((dir_ / "missing").c_str()), 0);
  EXPECT_EQ(ReadAuxInfo(dir_.path().c_str()), 0);  // a directory: read error
  EXPECT_EQ(Dump(), "[Kept]K=v|");
}

TEST_F(Reader, RecordsTheLineOfEverySectionAndEntryAndOfAFailure) {
  // Blank, comment (a long one too) and CR LF lines all count.
  ASSERT_EQ(Read("; c\r\n\r\nA\r\n#" + std::string(300, 'c') + "\r\n  K = 1\r\n \t\nB\nL = 2"), 1);
  std::string lines;
  for (const AuxSection* s = aux_Section; s != nullptr; s = s->next) {
    lines += std::string(s->name) + ":" + std::to_string(s->line) + " ";
    for (const AuxEntry* e = s->entries; e != nullptr; e = e->next) {
      lines += std::string(e->name) + ":" + std::to_string(e->line) + " ";
    }
  }
  EXPECT_EQ(lines, "A:3 K:5 B:7 L:8 ");

  const std::pair<std::string, ManifestReadError> failures[] = {
      {"; c\n\nK = v\n", {ManifestReadFailure::kEntryBeforeHeader, 3}},
      {"S\n\n# c\n" + std::string(256, 'x') + "\nT\n", {ManifestReadFailure::kOverLongLine, 4}},
  };
  for (const auto& [content, expected] : failures) {
    test::WriteFile(dir_ / "AuxInfo.txt", content);
    ManifestReadError error;
    EXPECT_EQ(ReadAuxInfo((dir_ / "AuxInfo.txt").c_str(), &error), 0);
    EXPECT_EQ(error.failure, expected.failure);
    EXPECT_EQ(error.line, expected.line);
  }
}

TEST_F(Reader, BinaryInputIsReadOrRefusedCleanly) {
  std::uint32_t seed = 4271;
  for (int round = 0; round < 20; ++round) {
    std::string bytes;
    for (int i = 0; i < 4096; ++i) {
      seed = seed * 1664525U + 1013904223U;
      // Even rounds raw bytes; odd ones rich in '=', blanks, line ends and NULs.
      bytes += round % 2 == 0 ? static_cast<char>(seed >> 24) : "=\n \t\r#;A\0"[(seed >> 24) % 9];
    }
    FreeAuxInfo();
    EXPECT_TRUE(Read(bytes) == 1 || aux_Section == nullptr) << round;
  }
}

// The costliest lines for their size: their nodes alone take 8 bytes per
// manifest byte on the 32-bit build (section lines) and on the 64-bit build
// (entries); strings, index and blocks may add only a fixed amount.
TEST_F(Reader, TheCostliestManifestsCostTheirNodesAndLittleMore) {
  constexpr std::size_t kLines = 100'000;
  const std::pair<std::string, std::size_t> shapes[] = {{"S\n", sizeof(AuxSection)},
                                                        {"K=1\n", sizeof(AuxEntry)}};
  for (const auto& [line, node] : shapes) {
    std::string text = "S\n";
    for (std::size_t i = 0; i < kLines; ++i) text += line;
    ASSERT_EQ(Read(text), 1);
    EXPECT_LE(AuxStoreBytes(), (kLines + 1) * node + 96 * 1024) << line;
  }
}

TEST(NvLine, CutsWhatDoesNotFit) {
  char name[8] = "junk";
  char value[8] = "junk";
  EXPECT_EQ(nvline("abc = xyz", name, 4, value, 4), 1);
  EXPECT_EQ(nvline("abc = wxyz", name, 4, value, 4), 0);
  EXPECT_STREQ(value, "wxy");
  EXPECT_EQ(nvline("abcd = xyz", name, 4, value, 4), 0);
  EXPECT_STREQ(name, "abc");
  EXPECT_STREQ(value, "");
}

}  // namespace
}  // namespace upd
