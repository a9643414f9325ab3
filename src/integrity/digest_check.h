// src/integrity: MD5 (our own engine), SHA-256 and the RSA signature check,
// and the digest entries with which a manifest pins its files.
//
// The optional digest entries ("MD5Hash", "SHA256Hash") with which a manifest
// section pins the file that a step reads or hands to a command.
//
// Values are compared as "TransferFile" compares them: as text, with the
// digest's text form of lower-case hexadecimal digits, so an upper-case or
// otherwise malformed value never matches.
#pragma once

namespace upd {

/// Buffer of a digest entry's value: at most 511 characters, as "TransferFile"
/// reads them.
inline constexpr int kDigestValueSize = 512;

/// What a section expects of one file: each member null when its entry is
/// absent, which leaves that digest unchecked.
struct ExpectedDigests {
  const char* md5;
  const char* sha256;

  [[nodiscard]] bool any() const { return md5 != nullptr || sha256 != nullptr; }
};

/// true when the MD5 / SHA-256 digest of the file at `path` (an instrument
/// path) is `expected`; false also when the file cannot be read.
[[nodiscard]] bool Md5Matches(const char* path, const char* expected);
[[nodiscard]] bool Sha256Matches(const char* path, const char* expected);

/// true when every digest that `expected` holds equals the digest of the file
/// at `path` (an instrument path); true without opening the file when it holds
/// none. A file that cannot be opened or read fails every digest entry.
[[nodiscard]] bool FileMatchesDigests(const char* path, const ExpectedDigests& expected);

}  // namespace upd
