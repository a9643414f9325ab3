#include "integrity/md5.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "integrity/digest_io.h"

namespace upd {

namespace {

constexpr std::size_t kBlockBytes = 64;
constexpr std::size_t kDigestBytes = kMd5DigestBytes;
constexpr std::size_t kFileReadBytes = 256;

constexpr std::array<std::uint32_t, 4> kInitialWords = {0x67452301, 0xefcdab89, 0x98badcfe,
                                                        0x10325476};

// T[i] = floor(2^32 * |sin(i + 1)|), i in radians.
constexpr std::array<std::uint32_t, 64> kSine = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// Left-rotation amounts, four per pass, repeating within the pass.
constexpr std::array<std::array<int, 4>, 4> kShift = {
    {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}}};

// Which message word operation `step` adds: the passes walk the block in
// the orders i, 5i + 1, 3i + 5 and 7i (mod 16).
constexpr std::size_t MessageWord(std::size_t step) {
  const std::size_t i = step % 16;
  switch (step / 16) {
    case 0:
      return i;
    case 1:
      return (5 * i + 1) % 16;
    case 2:
      return (3 * i + 5) % 16;
    default:
      return (7 * i) % 16;
  }
}

// Word `index` of a block, little-endian whatever the host's byte order.
inline std::uint32_t LoadWord(const unsigned char* block, std::size_t index) {
  const unsigned char* p = block + 4 * index;
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
  } else {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  }
}

// One of the 64 operations. The chaining values take turns in the four roles,
// so `v` is indexed by step instead of shuffling values between variables.
//
// MD5 is one long dependency chain through the word that was produced last
// (`b`), so each operation is arranged to put as few instructions as possible
// between `b` and the result: the constant and message word are added first,
// and the parts of each function that use only `c` and `d` (known a step
// earlier) are formed before `b` is touched. In pass 2, G = (b & d) | (c & ~d)
// has no bit set in both halves, so the OR becomes two additions, only one of
// which waits for `b`. (A compiler that moves the constant after the function
// puts one more addition on the chain in every operation: about a third slower.)
template <std::size_t kStep>
[[gnu::always_inline]] inline void Operation(std::array<std::uint32_t, 4>& v,
                                             const unsigned char* block) {
  std::uint32_t& a = v[(0 - kStep) & 3];
  const std::uint32_t b = v[(1 - kStep) & 3];
  const std::uint32_t c = v[(2 - kStep) & 3];
  const std::uint32_t d = v[(3 - kStep) & 3];
  constexpr std::size_t kPass = kStep / 16;

  a += kSine[kStep] + LoadWord(block, MessageWord(kStep));
  if constexpr (kPass == 0) {
    a += ((c ^ d) & b) ^ d;
  } else if constexpr (kPass == 1) {
    a += ~d & c;
    a += d & b;
  } else if constexpr (kPass == 2) {
    a += (c ^ d) ^ b;
  } else {
    a += (~d | b) ^ c;
  }
  a = std::rotl(a, kShift[kPass][kStep % 4]) + b;
}

template <std::size_t... kSteps>
[[gnu::always_inline]] inline void AllOperations(std::array<std::uint32_t, 4>& v,
                                                 const unsigned char* block,
                                                 std::index_sequence<kSteps...>) {
  (Operation<kSteps>(v, block), ...);
}

// `block` must be 4-byte aligned (see md5_process).
void Compress(std::array<std::uint32_t, 4>& words, const unsigned char* block) {
  std::array<std::uint32_t, 4> v = words;
  AllOperations(v, block, std::make_index_sequence<64>{});
  for (std::size_t i = 0; i < v.size(); ++i) words[i] += v[i];
}

}  // namespace

void md5_init(md5_state_s* state) {
  state->count = {0, 0};
  state->words = kInitialWords;
}

void md5_append(md5_state_s* state, const unsigned char* data, int nbytes) {
  if (nbytes <= 0) return;
  const auto n = static_cast<std::uint32_t>(nbytes);
  std::size_t waiting = (state->count[0] >> 3) % kBlockBytes;

  const std::uint32_t bits = n << 3;
  state->count[0] += bits;
  if (state->count[0] < bits) ++state->count[1];
  state->count[1] += n >> 29;

  std::size_t left = n;
  if (waiting != 0) {
    const std::size_t take = std::min(kBlockBytes - waiting, left);
    std::memcpy(state->buffer.data() + waiting, data, take);
    if (waiting + take < kBlockBytes) return;
    md5_process(state, state->buffer.data());
    data += take;
    left -= take;
  }
  // Whole blocks are compressed where they lie, without a copy.
  for (; left >= kBlockBytes; left -= kBlockBytes, data += kBlockBytes) md5_process(state, data);
  if (left != 0) std::memcpy(state->buffer.data(), data, left);
}

void md5_finish(md5_state_s* state, unsigned char digest[kMd5DigestBytes]) {
  // The length is taken before padding changes the count.
  std::array<unsigned char, 8> length{};
  for (std::size_t i = 0; i < length.size(); ++i) {
    length[i] = static_cast<unsigned char>(state->count[i / 4] >> (8 * (i % 4)));
  }
  // 0x80 and zeros up to 56 bytes into a block: 1 to 64 bytes.
  constexpr std::array<unsigned char, kBlockBytes> kPadding = {0x80};
  const std::size_t waiting = (state->count[0] >> 3) % kBlockBytes;
  const std::size_t pad = waiting < 56 ? 56 - waiting : 120 - waiting;
  md5_append(state, kPadding.data(), static_cast<int>(pad));
  md5_append(state, length.data(), static_cast<int>(length.size()));

  for (std::size_t i = 0; i < kDigestBytes; ++i) {
    digest[i] = static_cast<unsigned char>(state->words[i / 4] >> (8 * (i % 4)));
  }
}

void md5_process(md5_state_s* state, const unsigned char* block) {
  // The compressor reads whole 32-bit words; a block off a 4-byte boundary is
  // first copied into an aligned one so that it never reads misaligned words.
  if (reinterpret_cast<std::uintptr_t>(block) % alignof(std::uint32_t) != 0) {
    alignas(std::uint32_t) std::array<unsigned char, kBlockBytes> aligned;
    std::memcpy(aligned.data(), block, aligned.size());
    Compress(state->words, aligned.data());
    return;
  }
  Compress(state->words, block);
}

int MD5Hash(const char* path, char* out, int outSize) {
  if (out == nullptr || outSize < kMd5TextSize) return 0;
  digest_io::InputFile file(path);
  if (!file.is_open()) return 0;

  md5_state_s state;
  md5_init(&state);
  alignas(std::uint32_t) std::array<unsigned char, kFileReadBytes> block;
  bool readError = false;
  for (;;) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
    if (got == block.size()) {
      md5_append(&state, block.data(), static_cast<int>(got));
      continue;
    }
    // A short read is either the end of the file or an error (a directory
    // opens but fails here); a partial digest must never be reported.
    if (std::ferror(file.get()) != 0) {
      readError = true;
      break;
    }
    md5_append(&state, block.data(), static_cast<int>(got));
    if (std::feof(file.get()) != 0) break;
  }
  if (!file.Close() || readError) return 0;

  std::array<unsigned char, kDigestBytes> digest;
  md5_finish(&state, digest.data());
  digest_io::WriteLowerHex(digest.data(), digest.size(), out);
  return 1;
}

}  // namespace upd
