// SHA-256 digest of a whole file as text: 64 lower-case hexadecimal digits and
// a NUL, 65 bytes. Example: the empty file gives
// "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855".
#pragma once

namespace upd {

/// Size of the text form of a SHA-256 digest, NUL included.
inline constexpr int kSha256TextSize = 65;

/// Writes the text form of the SHA-256 digest of the file at `path` (an
/// instrument path) into `out`, which must hold at least 65 bytes, and
/// returns 1. Returns 0, with `out` untouched, when the file cannot be opened,
/// on a read error (a directory included) and when the library fails.
/// Prints nothing.
[[nodiscard]] int SHA256Hash(const char* path, char* out);

}  // namespace upd
