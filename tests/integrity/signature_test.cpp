#include "integrity/signature.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace upd {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

struct Bytes {
  unsigned char* data = nullptr;
  unsigned int length = 0;
  ~Bytes() { std::free(data); }
};

// One line naming the failed step and a (non-zero) library error code in hex.
bool IsStepFailure(const std::string& printed, const std::string& step) {
  return std::regex_match(printed, std::regex(step + " failed, error 0x[1-9a-f][0-9a-f]*\n"));
}

constexpr const char* kManifest =
    "[SectionList]\nSequence = Copy\n\n# comment\n[Copy]\nOperation = TransferFile\n";

// Keys and signatures are made once per run with the openssl tool.
class Signature : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    WriteFile(Path("manifest"), kManifest);
    const std::string commands =
        "cd '" + dir_->path() +
        "' && openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.pem"
        " && openssl pkey -in rsa.pem -pubout -out rsa.pub"
        " && openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.pem"
        " && openssl pkey -in ec.pem -pubout -out ec.pub"
        " && openssl dgst -sha256 -sign rsa.pem -out manifest.sig manifest";
    ready_ = std::system(("(" + commands + ") >/dev/null 2>&1").c_str()) == 0;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "the openssl tool could not make the test keys";
  }

  static std::string Path(const char* name) { return *dir_ / name; }

  // A key handle as the signature gate makes it, loaded from the RSA key.
  static Pkey LoadRsaKey() {
    EVP_PKEY* const made = EVP_PKEY_new();
    EVP_PKEY* key = made;
    EXPECT_EQ(ReadPublicKey(Path("rsa.pub").c_str(), &key), 1);
    EXPECT_EQ(key, made) << "the caller's handle is filled, not replaced";
    return Pkey(key);
  }

  // VerifyIt of two byte strings; its standard output goes to *printed.
  static int Verify(const std::string& data, const std::string& sig, EVP_PKEY* key,
                    std::string* printed) {
    testing::internal::CaptureStdout();
    const int result = VerifyIt(reinterpret_cast<const unsigned char*>(data.data()),
                                static_cast<unsigned int>(data.size()),
                                reinterpret_cast<const unsigned char*>(sig.data()),
                                static_cast<unsigned int>(sig.size()), key);
    *printed = testing::internal::GetCapturedStdout();
    return result;
  }

  static inline TempDir* dir_ = nullptr;
  static inline bool ready_ = false;
};

TEST_F(Signature, GateAcceptsTheSignedManifest) {
  Pkey key = LoadRsaKey();
  EXPECT_EQ(EVP_PKEY_get_bits(key.get()), 2048);
  Bytes sig, manifest;
  ASSERT_EQ(ReadBytesFromFile(Path("manifest.sig").c_str(), &sig.data, &sig.length), 1);
  ASSERT_EQ(ReadBytesFromFile(Path("manifest").c_str(), &manifest.data, &manifest.length), 1);
  EXPECT_EQ(sig.length, 256u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(VerifyIt(manifest.data, manifest.length, sig.data, sig.length, key.get()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(Signature, AlteredManifestOrSignatureFailsAtVerifyFinal) {
  Pkey key = LoadRsaKey();
  const std::string manifest = kManifest;
  const std::string sig = ReadFile(Path("manifest.sig"));
  std::string oneByte = manifest;
  oneByte[manifest.find("Copy")] = 'K';
  std::string crlf;
  for (const char c : manifest) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::string flipped = sig;
  flipped[100] = static_cast<char>(flipped[100] ^ 1);

  const struct {
    const char* what;
    std::string data, signature;
  } kCases[] = {{"one byte changed", oneByte, sig},
                {"LF turned into CR LF", crlf, sig},
                {"signature bit flipped", manifest, flipped},
                {"signature one byte short", manifest, sig.substr(1)}};
  for (const auto& c : kCases) {
    std::string printed;
    EXPECT_EQ(Verify(c.data, c.signature, key.get(), &printed), 0) << c.what;
    EXPECT_TRUE(IsStepFailure(printed, "EVP_DigestVerifyFinal")) << c.what << ": " << printed;
  }
}

TEST_F(Signature, MissingOrEmptyInputsFailWithoutMessage) {
  Pkey key = LoadRsaKey();
  WriteFile(Path("empty.sig"), "");
  Bytes empty;
  ASSERT_EQ(ReadBytesFromFile(Path("empty.sig").c_str(), &empty.data, &empty.length), 1);
  EXPECT_NE(empty.data, nullptr);
  EXPECT_EQ(empty.length, 0u);

  const unsigned char byte = 'x';
  testing::internal::CaptureStdout();
  EXPECT_EQ(VerifyIt(&byte, 1, empty.data, empty.length, key.get()), 0);
  EXPECT_EQ(VerifyIt(&byte, 0, &byte, 1, key.get()), 0);
  EXPECT_EQ(VerifyIt(nullptr, 1, &byte, 1, key.get()), 0);
  EXPECT_EQ(VerifyIt(&byte, 1, nullptr, 1, key.get()), 0);
  EXPECT_EQ(VerifyIt(&byte, 1, &byte, 1, nullptr), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(Signature, KeyHandleWithoutKeyFailsAtVerifyInit) {
  const Pkey empty(EVP_PKEY_new());
  std::string printed;
  EXPECT_EQ(Verify(kManifest, ReadFile(Path("manifest.sig")), empty.get(), &printed), 0);
  EXPECT_TRUE(IsStepFailure(printed, "EVP_VerifyInit")) << printed;
}

TEST_F(Signature, ReadPublicKeyRefusesAnythingButAnRsaPublicKey) {
  WriteFile(Path("text.pub"), "not a key\n");
  WriteFile(Path("empty.pub"), "");
  WriteFile(Path("keydir/inner"), "x");
  for (const char* name : {"missing.pub", "text.pub", "empty.pub", "keydir", "ec.pub", "rsa.pem"}) {
    EVP_PKEY* key = EVP_PKEY_new();
    const Pkey guard(key);
    EVP_PKEY* handle = key;
    EXPECT_EQ(ReadPublicKey(Path(name).c_str(), &handle), 0) << name;
    EXPECT_EQ(handle, key) << name;
    EXPECT_EQ(EVP_PKEY_get_base_id(key), EVP_PKEY_NONE) << name;
  }
  EXPECT_EQ(ReadPublicKey(Path("rsa.pub").c_str(), nullptr), 0);
}

TEST(ReadBytesFromFile, ReadsEveryByteOrLeavesTheOutputsUntouched) {
  TempDir dir;
  const std::string content("a\r\n\0b\xff", 6);
  WriteFile(dir / "data", content);
  Bytes read;
  ASSERT_EQ(ReadBytesFromFile((dir / "data").c_str(), &read.data, &read.length), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(read.data), read.length), content);

  // A sparse file one byte past what an unsigned int can count.
  const std::string huge = dir / "huge";
  const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  const bool sparse = ::ftruncate(fd, (off_t{1} << 32)) == 0;
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
