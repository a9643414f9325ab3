// MD5 (RFC 1321): an incremental engine and the digest of a whole file as text.
//
// The engine cannot fail; MD5Hash reports failure as 0 and prints nothing.
// Text form of a digest: 32 lower-case hexadecimal digits and a NUL, 33 bytes.
// Example: the empty file gives "d41d8cd98f00b204e9800998ecf8427e".
#pragma once

#include <array>
#include <cstdint>

namespace upd {

/// The running state of one MD5 computation, owned by its caller. Computations
/// on separate states are independent.
struct md5_state_s {
  /// Message length so far in bits, modulo 2^64; low word first.
  std::array<std::uint32_t, 2> count;
  /// The four chaining values A, B, C, D.
  std::array<std::uint32_t, 4> words;
  /// Bytes of the current, not yet complete, 64-byte block. How many are
  /// waiting is not stored: it is (count / 8) modulo 64.
  std::array<unsigned char, 64> buffer;
};

/// Size of a binary MD5 digest in bytes.
inline constexpr int kMd5DigestBytes = 16;
/// Size of the text form of an MD5 digest, NUL included.
inline constexpr int kMd5TextSize = 33;

/// Starts a computation: count zero, words set to the initial chaining values.
void md5_init(md5_state_s* state);

/// Feeds `nbytes` bytes of `data`. A count of 0 or less does nothing (and
/// `data` is then not read). Any split of a message into pieces gives the same
/// digest as feeding it at once.
void md5_append(md5_state_s* state, const unsigned char* data, int nbytes);

/// Pads the message, adds its length and writes the 16-byte digest. The state
/// is spent afterwards; start again with md5_init.
void md5_finish(md5_state_s* state, unsigned char digest[kMd5DigestBytes]);

/// Compresses one 64-byte block into state->words. `block` may have any
/// alignment. The byte count and buffer are not touched: md5_append keeps them.
void md5_process(md5_state_s* state, const unsigned char* block);

/// Writes the text form of the MD5 digest of the file at `path` (an instrument
/// path) into `out`, a buffer of `outSize` bytes, and returns 1.
/// Returns 0, with `out` untouched, when outSize is 32 or less (the file is then
/// not opened), when the file cannot be opened, on a read error (a directory
/// included) and when closing the file fails.
[[nodiscard]] int MD5Hash(const char* path, char* out, int outSize);

}  // namespace upd
