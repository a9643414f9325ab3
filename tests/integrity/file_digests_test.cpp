// MD5Hash, SHA256Hash and HashFile (both digests on one read) over files, and
// the MD5 engine fed in pieces.
#include "integrity/file_digests.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "integrity/digest_io.h"
#include "integrity/md5.h"
#include "integrity/sha256.h"
#include "platform/platform.h"
#include "sim/fault_plan.h"
#include "sim/instrument.h"
#include "sim/sim_platform.h"
#include "support/digests.h"
#include "support/test_support.h"

namespace upd {
namespace {

// HashFile's read, which is also the size from which MD5 gets a thread, and
// the blocks in flight to that thread.
constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kSlots = 4;

std::string RandomBytes(std::size_t n) {
  std::mt19937 rng(static_cast<unsigned>(n));
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  return bytes;
}

// The digests that each function wrote, "#" for a buffer left untouched, and
// whether all three succeeded; HashFile is asked for `md5` and `sha256` only.
std::string Digests(const char* path, bool md5 = true, bool sha256 = true, int md5Size = 33) {
  char m[kMd5TextSize + 1] = "#", s[kSha256TextSize + 1] = "#", hm[sizeof m] = "#",
                        hs[sizeof s] = "#";
  const int ok = MD5Hash(path, m, md5Size) + SHA256Hash(path, s) +
                 HashFile(path, md5 ? hm : nullptr, sha256 ? hs : nullptr);
  return std::to_string(ok) + " " + m + " " + s + " " + hm + " " + hs;
}

// Sizes at the edges of MD5's blocks, of MD5Hash's and SHA256Hash's reads
// (256 and 4096 bytes), of HashFile's reads, where MD5 gets a thread, and one
// that takes that thread round its slots more than once.
TEST(FileDigests, MatchLibcryptoAtEveryReadEdge) {
  test::TempDir dir;
  const std::string path = dir / "f";
  test::WriteFile(path, "abc");
  EXPECT_EQ(Digests(path.c_str()),
            "3 900150983cd24fb0d6963f7d28e17f72 "
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad "
            "900150983cd24fb0d6963f7d28e17f72 "
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{1}, std::size_t{55}, std::size_t{56}, std::size_t{63},
        std::size_t{64}, std::size_t{65}, std::size_t{255}, std::size_t{256}, std::size_t{257},
        std::size_t{5 * 4096}, kMiB - 1, kMiB, kMiB + 1, (kSlots + 2) * kMiB + kMiB / 2}) {
    const std::string content = RandomBytes(size);
    test::WriteFile(path, content);
    const std::string md5 = test::Md5Hex(content), sha256 = test::Sha256Hex(content);
    const std::string both = md5 + " " + sha256;
    EXPECT_EQ(Digests(path.c_str()), "3 " + both + " " + both) << size;
    EXPECT_EQ(Digests(path.c_str(), true, false), "3 " + both + " " + md5 + " #") << size;
    EXPECT_EQ(Digests(path.c_str(), false, true), "3 " + both + " # " + sha256) << size;
    EXPECT_EQ(Digests(path.c_str(), false, false), "2 " + both + " # #") << size;
  }
  EXPECT_EQ(Digests(path.c_str(), true, true, 32).substr(0, 4), "2 # ");  // no room for MD5
}

// Nothing is written for a file that cannot be opened or read, also when the
// read fails while HashFile's MD5 thread runs.
TEST(FileDigests, NoneForAFileThatCannotBeRead) {
  test::TempDir dir;
  ASSERT_TRUE(sim::Instrument::Init(dir / "instrument").empty());
  const auto instrument = sim::Instrument::Open(dir / "instrument");
  ASSERT_TRUE(instrument);
  test::WriteFile(instrument->Host("/home/Corvenal/large.bin"), RandomBytes(3 * kMiB));
  test::WriteFile(instrument->Host("/home/Corvenal/sub/inner"), "x");
  sim::FaultPlan plan;
  plan.faults.push_back(
      {sim::FaultCall::kRead, "/home/Corvenal/large.bin", EIO, static_cast<long long>(2 * kMiB)});
  sim::SimPlatform sim(*instrument, sim::CommandMode::kRecord, plan);
  const platform::ScopedPlatform installed(sim);
  for (const char* path : {"/home/Corvenal/missing", "/home/Corvenal/sub",
                           "/home/Corvenal/large.bin", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(Digests(path), "0 # # # #") << (path ? path : "null");
  }
}

// Pieces of random size (zero included) split blocks at every offset; the
// message starts at every offset from a 4-byte boundary, so whole blocks taken
// straight from the input are aligned and unaligned (MD5Hash's never are).
TEST(Md5Engine, MessageFedInPiecesGivesTheOneShotDigest) {
  const std::string message = RandomBytes(4099);
  alignas(8) static unsigned char storage[4104];
  for (unsigned round = 0; round < 64; ++round) {
    unsigned char* const data = storage + round % 4;
    std::memcpy(data, message.data(), message.size());
    std::mt19937 rng(round);
    md5_state_s state;
    md5_init(&state);
    for (std::size_t done = 0, piece = 0; done < message.size(); done += piece) {
      piece = std::min<std::size_t>(rng() % 200, message.size() - done);
      md5_append(&state, data + done, static_cast<int>(piece));
    }
    md5_append(&state, data, -1);  // ignored, like 0
    unsigned char digest[kMd5DigestBytes];
    char text[kMd5TextSize];
    md5_finish(&state, digest);
    digest_io::WriteLowerHex(digest, sizeof digest, text);
    ASSERT_EQ(text, test::Md5Hex(message)) << "round " << round;
  }
}

}  // namespace
}  // namespace upd
