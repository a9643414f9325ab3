// The code reference: one entry per constant of common/error_codes.h, the
// documents generated from it still equal to what it generates, and manual
// pages that render without a warning.
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "medium/code_reference.h"
#include "sim_runner.h"

namespace upd::e2e {
namespace {

using ::testing::HasSubstr;

// The lines strictly between the one holding "<marker>:begin" and the one
// holding "<marker>:end".
std::string Generated(const std::string& text, const std::string& marker) {
  const std::size_t begin = text.find(marker + ":begin");
  const std::size_t end = text.find(marker + ":end");
  if (begin == std::string::npos || end == std::string::npos || end < begin) return "(no markers)";
  const std::size_t from = text.find('\n', begin) + 1;
  return text.substr(from, text.rfind('\n', end) + 1 - from);
}

TEST(CodeReference, HasOneEntryPerConstant) {
  const std::string header = test::ReadFile(UPD_SOURCE_DIR "/src/common/error_codes.h");
  const std::regex constant(R"(inline constexpr int (kErr\w+) = (\d+);)");
  std::map<std::string, int> constants;
  for (std::sregex_iterator it(header.begin(), header.end(), constant), last; it != last; ++it) {
    constants[(*it)[1]] = std::stoi((*it)[2]);
  }
  ASSERT_GE(constants.size(), 60U) << "error_codes.h was not read";
  for (const auto& [name, code] : constants) {
    const medium::CodeEntry* entry = medium::FindCode(code);
    ASSERT_NE(entry, nullptr) << name << " = " << code << " has no entry";
    EXPECT_EQ(entry->constant, name) << code;
  }
  for (const medium::CodeEntry& entry : medium::CodeReference()) {
    const auto found = constants.find(std::string(entry.constant));
    EXPECT_TRUE(found != constants.end() && found->second == entry.code)
        << entry.code << " " << entry.constant << " is no constant of error_codes.h";
    EXPECT_FALSE(entry.happened.empty() || entry.left.empty() || entry.next.empty()) << entry.code;
  }
}

// The documents hold what explain prints; explain alone lists every code.
TEST(CodeReference, GeneratedDocumentsMatchTheTable) {
  struct Row {
    const char* file;
    const char* marker;
    std::vector<std::string> args;
    const char* fence;  // around the output in the document
  };
  const Row rows[] = {
      {"README.md", "explain-654", {"explain", "654"}, "```\n"},
      {"README.md", "codes", {"explain", "--markdown"}, ""},
      {"man/update.8", "codes", {"explain", "--roff"}, ""},
  };
  for (const Row& row : rows) {
    const Outcome generated = MediumTool(row.args);
    ASSERT_EQ(generated.status, 0) << generated.err;
    const std::string document = test::ReadFile(std::string(UPD_SOURCE_DIR "/") + row.file);
    EXPECT_EQ(Generated(document, row.marker), row.fence + generated.out + row.fence)
        << row.file << " (" << row.marker
        << ") no longer matches the code table: run scripts/gen_docs.sh";
  }
  const Outcome list = MediumTool({"explain"});
  EXPECT_EQ(list.status, 0);
  EXPECT_THAT(list.out, HasSubstr("\n670  kErrSha256Mismatch  (TransferFile and BackupFiles)\n"));
}

// groff is what man(1) renders with; the test needs it (scripts/install-deps.sh
// installs groff-base and man-db) and says so when it is missing.
TEST(ManPages, RenderWithoutWarnings) {
  if (Shell("command -v groff").status != 0) GTEST_SKIP() << "groff is not installed";
  const bool haveMan = Shell("command -v man").status == 0;
  for (const char* page : {"man/update.8", "man/update-sim.1", "man/update-medium.1"}) {
    const std::string path = std::string(UPD_SOURCE_DIR "/") + page;
    const Outcome groff = Shell("groff -man -ww -z -Tutf8 '" + path + "'");
    EXPECT_EQ(groff.status, 0) << page;
    EXPECT_EQ(groff.out + groff.err, "") << page;
    if (!haveMan) continue;
    const Outcome man = Shell("man --warnings -l '" + path + "'");
    EXPECT_EQ(man.status, 0) << page;
    EXPECT_EQ(man.err, "") << page;
  }
}

}  // namespace
}  // namespace upd::e2e
