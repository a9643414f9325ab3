#include "integrity/file_digests.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "integrity/md5.h"
#include "integrity/sha256.h"
#include "platform/platform.h"
#include "sim/fault_plan.h"
#include "sim/instrument.h"
#include "sim/sim_platform.h"
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

struct Result {
  int status;
  std::string md5, sha256;
};

// HashFile with each digest asked for or not; "#" for a buffer left untouched.
Result Hash(const std::string& path, bool md5, bool sha256) {
  char md5Out[kMd5TextSize + 1] = "#";
  char sha256Out[kSha256TextSize + 1] = "#";
  const int status = HashFile(path.c_str(), md5 ? md5Out : nullptr, sha256 ? sha256Out : nullptr);
  return {status, md5Out, sha256Out};
}

// Sizes at the edges of a read, where MD5 gets a thread, and one that takes
// that thread round its slots more than once; each digest alone and both,
// against MD5Hash and SHA256Hash.
TEST(HashFile, GivesWhatMd5HashAndSha256HashGiveOnOneRead) {
  test::TempDir dir;
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{1}, kMiB - 1, kMiB, kMiB + 1, (kSlots + 2) * kMiB + kMiB / 2}) {
    SCOPED_TRACE(size);
    const std::string path = dir / "f";
    test::WriteFile(path, RandomBytes(size));
    char md5[kMd5TextSize];
    char sha256[kSha256TextSize];
    ASSERT_EQ(MD5Hash(path.c_str(), md5, kMd5TextSize), 1);
    ASSERT_EQ(SHA256Hash(path.c_str(), sha256), 1);
    const struct {
      bool md5, sha256;
      Result expected;
    } kCases[] = {{true, true, {1, md5, sha256}},
                  {true, false, {1, md5, "#"}},
                  {false, true, {1, "#", sha256}},
                  {false, false, {0, "#", "#"}}};
    for (const auto& c : kCases) {
      const Result r = Hash(path, c.md5, c.sha256);
      EXPECT_EQ(std::tie(r.status, r.md5, r.sha256),
                std::tie(c.expected.status, c.expected.md5, c.expected.sha256))
          << c.md5 << c.sha256;
    }
  }
}

// Nothing is written for a file that cannot be opened or read, also when the
// read fails while the MD5 thread runs.
TEST(HashFile, FailsWithoutDigestsForAFileThatCannotBeRead) {
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
  for (const char* path :
       {"/home/Corvenal/missing", "/home/Corvenal/sub", "/home/Corvenal/large.bin"}) {
    const Result r = Hash(path, true, true);
    EXPECT_EQ(std::tie(r.status, r.md5, r.sha256), std::make_tuple(0, "#", "#")) << path;
  }
}

}  // namespace
}  // namespace upd
