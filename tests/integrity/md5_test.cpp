#include "integrity/md5.h"

#include <openssl/evp.h>

#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace upd {
namespace {

using test::TempDir;
using test::WriteFile;

std::string Hex(const unsigned char* bytes, std::size_t n) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < n; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

const unsigned char* Bytes(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

std::string EngineMd5(std::string_view message) {
  md5_state_s state;
  md5_init(&state);
  md5_append(&state, Bytes(message), static_cast<int>(message.size()));
  unsigned char digest[kMd5DigestBytes];
  md5_finish(&state, digest);
  return Hex(digest, sizeof digest);
}

// OpenSSL's MD5, as an independent reference.
std::string ReferenceMd5(std::string_view message) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EXPECT_EQ(EVP_Digest(message.data(), message.size(), digest, &length, EVP_md5(), nullptr), 1);
  return Hex(digest, length);
}

std::string RandomText(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string text(n, '\0');
  for (char& c : text) c = static_cast<char>(rng());
  return text;
}

TEST(Md5Engine, GivesTheRfc1321SuiteDigests) {
  const struct {
    std::string_view message, digest;
  } kCases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890"
       "123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : kCases) EXPECT_EQ(EngineMd5(c.message), c.digest) << c.message;
}

// Random piece sizes, zero included, split blocks at every offset. The message
// also starts at every offset from a 4-byte boundary, so that whole blocks taken
// straight from the input are both aligned and unaligned.
TEST(Md5Engine, MessageFedInPiecesGivesTheOneShotDigest) {
  const std::string message = RandomText(4099, 1);
  const std::string expected = ReferenceMd5(message);
  ASSERT_EQ(EngineMd5(message), expected);
  std::mt19937 rng(2);
  for (std::size_t round = 0; round < 200; ++round) {
    const std::size_t shift = round % 4;
    const std::string storage = std::string(shift, '-') + message;
    const unsigned char* data = Bytes(storage) + shift;
    md5_state_s state;
    md5_init(&state);
    std::size_t done = 0;
    while (done < message.size()) {
      const std::size_t piece = std::min<std::size_t>(rng() % 200, message.size() - done);
      md5_append(&state, data + done, static_cast<int>(piece));
      done += piece;
    }
    md5_append(&state, data, -1);  // ignored, like 0
    unsigned char digest[kMd5DigestBytes];
    md5_finish(&state, digest);
    ASSERT_EQ(Hex(digest, sizeof digest), expected) << "round " << round;
  }
}

// Sizes on both sides of the padding's block boundary and of the 256-byte read,
// and a file of several MiB with a ragged end.
TEST(Md5Hash, FileDigestsMatchAnIndependentMd5) {
  TempDir dir;
  constexpr std::size_t kSizes[] = {0, 55, 56, 63, 64, 65, 255, 256, 257, (3 << 20) + 7};
  for (const std::size_t size : kSizes) {
    const std::string content = RandomText(size, static_cast<unsigned>(size));
    const std::string path = dir / ("f" + std::to_string(size));
    WriteFile(path, content);
    char out[512];
    ASSERT_EQ(MD5Hash(path.c_str(), out, sizeof out), 1) << size;
    EXPECT_EQ(out, ReferenceMd5(content)) << size;
  }
}

TEST(Md5Hash, NeedsRoomForTheTextAndLeavesOutUntouchedOnFailure) {
  TempDir dir;
  WriteFile(dir / "abc", "abc");
  WriteFile(dir / "sub/inner", "x");  // makes dir/sub a directory
  const std::string abc = dir / "abc";
  const std::string missing = dir / "missing";
  const std::string directory = dir / "sub";
  const struct {
    const char* path;
    int outSize;
  } kFailures[] = {{abc.c_str(), 32},
                   {abc.c_str(), 0},
                   {missing.c_str(), 512},
                   {nullptr, 512},
                   {directory.c_str(), 512}};
  for (const auto& f : kFailures) {
    char out[512];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(MD5Hash(f.path, out, f.outSize), 0) << (f.path ? f.path : "null") << f.outSize;
    EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#'));
  }
  char out[33];
  ASSERT_EQ(MD5Hash(abc.c_str(), out, sizeof out), 1);
  EXPECT_STREQ(out, "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace upd
