// The MD5 and SHA-256 digests of one file from a single pass over it, for the
// release engineer's tool, which wants both digests of files of hundreds of MiB.
//
// The text forms are those of MD5Hash and SHA256Hash (md5.h, sha256.h), and so
// is every failure: a file that cannot be opened or read, a directory
// included, gives no digest at all. Prints nothing.
#pragma once

namespace upd {

/// Writes the text form of the MD5 digest of the file at `path` (an instrument
/// path) into `md5`, which holds at least kMd5TextSize (33) bytes, and that of
/// its SHA-256 digest into `sha256`, which holds at least kSha256TextSize (65)
/// bytes, reading the file once; returns 1. A null `md5` or `sha256` asks for
/// the other digest alone.
///
/// Returns 0, with both buffers untouched, when both are null (the file is
/// then not opened), when the file cannot be opened, on a read error, when
/// closing the file fails and when OpenSSL or memory fail.
///
/// When both digests are asked for and the file holds 1 MiB or more, MD5 is
/// computed on a second thread while this one reads and computes SHA-256;
/// when no thread can be started, this one computes both.
[[nodiscard]] int HashFile(const char* path, char* md5, char* sha256);

}  // namespace upd
