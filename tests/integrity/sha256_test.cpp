#include "integrity/sha256.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace upd {
namespace {

using test::TempDir;
using test::WriteFile;

std::string FileSha256(const std::string& path) {
  char out[65];
  std::memset(out, '#', sizeof out);
  if (SHA256Hash(path.c_str(), out) != 1) {
    EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#')) << "out was written";
    return "failed";
  }
  return out;
}

TEST(Sha256Hash, GivesTheFips180ExamplesAndFailsOnUnreadableFiles) {
  TempDir dir;
  const struct {
    std::string content, digest;
  } kCases[] = {{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
                {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
                {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                 "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
                {std::string(1000000, 'a'),
                 "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
  for (const auto& c : kCases) {
    WriteFile(dir / "m", c.content);
    EXPECT_EQ(FileSha256(dir / "m"), c.digest) << c.content.size() << " bytes";
  }
  WriteFile(dir / "sub/inner", "x");
  EXPECT_EQ(FileSha256(dir / "missing"), "failed");
  EXPECT_EQ(FileSha256(dir / "sub"), "failed");  // opens, but reading fails
}

// The last read of such a file delivers a full block and the next one nothing.
TEST(Sha256Hash, FileOfWholeReadBlocksAgreesWithSha256sum) {
  TempDir dir;
  std::mt19937 rng(3);
  std::string content(5 * 4096, '\0');
  for (char& c : content) c = static_cast<char>(rng());
  const std::string path = dir / "blocks.bin";
  WriteFile(path, content);
  std::FILE* tool = ::popen(("sha256sum '" + path + "'").c_str(), "r");
  ASSERT_NE(tool, nullptr);
  char line[256] = {};
  const bool gotLine = std::fgets(line, sizeof line, tool) != nullptr;
  if (::pclose(tool) != 0 || !gotLine) GTEST_SKIP() << "sha256sum is not available";
  EXPECT_EQ(FileSha256(path), std::string(line, 64));
}

}  // namespace
}  // namespace upd
