#include "integrity/signature.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "support/digests.h"
#include "support/test_support.h"

namespace upd {
namespace {

using test::TempDir;
using test::WriteFile;
using Pkey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

struct Bytes {
  unsigned char* data = nullptr;
  unsigned int length = 0;
  ~Bytes() { std::free(data); }
  [[nodiscard]] std::string text() const { return {reinterpret_cast<char*>(data), length}; }
};

// Keys made with the openssl tool: the gate's own path (both files read with
// ReadBytesFromFile, the key loaded into the caller's handle), then every way
// to fail, with its printed line.
TEST(Signature, VerifyItAcceptsOnlyTheSignedManifestUnderAnRsaKey) {
  TempDir dir;
  WriteFile(dir / "manifest", "[SectionList]\nSequence = Copy\n\n# c\n[Copy]\nOperation = X\n");
  if (!test::MakeKeyPair(dir.path()) ||
      !test::SignFile(dir.path(), dir / "manifest", dir / "sig") ||
      std::system(("cd '" + dir.path() +
                   "' && openssl genpkey -quiet -algorithm EC -pkeyopt ec_paramgen_curve:P-256"
                   " | openssl pkey -pubout -out ec.pub")
                      .c_str()) != 0) {
    GTEST_SKIP() << "the openssl tool could not make the test keys";
  }
  EVP_PKEY* const made = EVP_PKEY_new();
  EVP_PKEY* handle = made;
  const Pkey key(made, EVP_PKEY_free);
  ASSERT_EQ(ReadPublicKey((dir / "key.pub").c_str(), &handle), 1);
  EXPECT_EQ(handle, made) << "the caller's handle is filled, not replaced";
  Bytes sig, manifest;
  ASSERT_EQ(ReadBytesFromFile((dir / "sig").c_str(), &sig.data, &sig.length), 1);
  ASSERT_EQ(ReadBytesFromFile((dir / "manifest").c_str(), &manifest.data, &manifest.length), 1);

  std::string changed = manifest.text(), flipped = sig.text();
  changed[changed.find("Copy")] = 'K';
  flipped[100] = static_cast<char>(flipped[100] ^ 1);
  const Pkey noKey(EVP_PKEY_new(), EVP_PKEY_free);
  const std::string kFinal = "EVP_DigestVerifyFinal", text = manifest.text(), good = sig.text();
  const struct {
    std::string data, signature;
    EVP_PKEY* key;
    int result;
    std::string step;  // "" when nothing is printed
  } kCases[] = {{text, good, made, 1, ""},
                {changed, good, made, 0, kFinal},
                {text, flipped, made, 0, kFinal},
                {text, good.substr(1), made, 0, kFinal},
                {text, good, noKey.get(), 0, "EVP_VerifyInit"},
                {text, "", made, 0, ""},
                {"", good, made, 0, ""},
                {text, good, nullptr, 0, ""}};
  for (const auto& c : kCases) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(VerifyIt(reinterpret_cast<const unsigned char*>(c.data.data()),
                       static_cast<unsigned int>(c.data.size()),
                       reinterpret_cast<const unsigned char*>(c.signature.data()),
                       static_cast<unsigned int>(c.signature.size()), c.key),
              c.result)
        << &c - kCases;
    const std::string printed = testing::internal::GetCapturedStdout();
    // One line naming the failed step and a (non-zero) library error code in hex.
    const std::regex line(c.step + " failed, error 0x[1-9a-f][0-9a-f]*\n");
    EXPECT_TRUE(c.step.empty() ? printed.empty() : std::regex_match(printed, line))
        << &c - kCases << ": " << printed;
  }
  const unsigned char byte = 'x';
  testing::internal::CaptureStdout();
  EXPECT_EQ(VerifyIt(nullptr, 1, &byte, 1, made) + VerifyIt(&byte, 1, nullptr, 1, made), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  // Anything but an RSA public key is refused, the caller's handle left empty.
  WriteFile(dir / "text.pub", "not a key\n");
  WriteFile(dir / "empty.pub", "");
  for (const char* name : {"missing.pub", "text.pub", "empty.pub", "ec.pub", "key.pem"}) {
    EVP_PKEY* refused = EVP_PKEY_new();
    const Pkey guard(refused, EVP_PKEY_free);
    handle = refused;
    EXPECT_EQ(ReadPublicKey((dir / name).c_str(), &handle), 0) << name;
    EXPECT_EQ(handle, refused) << name;
    EXPECT_EQ(EVP_PKEY_get_base_id(refused), EVP_PKEY_NONE) << name;
  }
  EXPECT_EQ(ReadPublicKey((dir / "key.pub").c_str(), nullptr), 0);
}

TEST(ReadBytesFromFile, ReadsEveryByteOrLeavesTheOutputsUntouched) {
  TempDir dir;
  const std::string content("a\r\n\0b\xff", 6);
  WriteFile(dir / "data", content);
  WriteFile(dir / "empty", "");
  Bytes read, empty;
  ASSERT_EQ(ReadBytesFromFile((dir / "data").c_str(), &read.data, &read.length), 1);
  EXPECT_EQ(read.text(), content);
  ASSERT_EQ(ReadBytesFromFile((dir / "empty").c_str(), &empty.data, &empty.length), 1);
  EXPECT_NE(empty.data, nullptr);
  EXPECT_EQ(empty.length, 0u);

  // A sparse file one byte past what an unsigned int can count; the 64-bit
  // call makes it on a 32-bit build too, where off_t is too narrow.
  const std::string huge = dir / "huge";
  const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  const bool sparse = ::ftruncate64(fd, off64_t{1} << 32) == 0;
  ::close(fd);
  WriteFile(dir / "sub/inner", "x");
  // A pipe opens but has no size to seek to.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "abc", 3), 3);
  const std::string pipe = "/proc/self/fd/" + std::to_string(ends[0]);
  for (const std::string& path : {dir / "missing", dir / "sub", huge, pipe}) {
    if (path == huge && !sparse) continue;
    unsigned char marker = 0;
    unsigned char* data = &marker;
    unsigned int length = 77;
    EXPECT_EQ(ReadBytesFromFile(path.c_str(), &data, &length), 0) << path;
    EXPECT_EQ(data, &marker);
    EXPECT_EQ(length, 77u);
  }
  ::close(ends[0]);
  ::close(ends[1]);
}

}  // namespace
}  // namespace upd
