#include "integrity/md5.h"

#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "support/digests.h"

namespace upd {
namespace {

using test::Md5Hex;  // libcrypto's MD5, the independent reference

// The engine's digest of `message`, fed in pieces of random size below `maxPiece`
// (zero included) starting `shift` bytes past an aligned address.
std::string EngineMd5(std::string_view message, std::size_t maxPiece = 0, unsigned seed = 0,
                      std::size_t shift = 0) {
  alignas(8) static unsigned char storage[8192];
  std::memcpy(storage + shift, message.data(), message.size());
  const unsigned char* data = storage + shift;
  std::mt19937 rng(seed);
  md5_state_s state;
  md5_init(&state);
  for (std::size_t done = 0, piece = 0; done < message.size(); done += piece) {
    piece = std::min(maxPiece == 0 ? message.size() : rng() % maxPiece, message.size() - done);
    md5_append(&state, data + done, static_cast<int>(piece));
  }
  md5_append(&state, data, -1);  // ignored, like 0
  unsigned char digest[kMd5DigestBytes];
  md5_finish(&state, digest);
  std::string text;
  for (const unsigned char b : digest)
    text += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
  return text;
}

std::string RandomText(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string text(n, '\0');
  for (char& c : text) c = static_cast<char>(rng());
  return text;
}

// Pieces split blocks at every offset; the message starts at every offset from a
// 4-byte boundary, so whole blocks taken straight from the input are both aligned
// and unaligned. (Whole files, and a known answer, are checked with MD5Hash.)
TEST(Md5Engine, MessageFedInPiecesGivesTheOneShotDigest) {
  const std::string message = RandomText(4099, 1);
  const std::string expected = Md5Hex(message);
  for (unsigned round = 0; round < 64; ++round) {
    ASSERT_EQ(EngineMd5(message, 200, round, round % 4), expected) << "round " << round;
  }
}

}  // namespace
}  // namespace upd
