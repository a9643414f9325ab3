// Digests and signatures made at test time, independently of the updater's code.
#pragma once

#include <string>
#include <string_view>

namespace upd::test {

/// Lower-case hexadecimal MD5 / SHA-256 of `content`, computed with libcrypto.
[[nodiscard]] std::string Md5Hex(std::string_view content);
[[nodiscard]] std::string Sha256Hex(std::string_view content);

/// An RSA key pair made with the openssl tool in `dir`: dir/key.pem (private)
/// and dir/key.pub (PEM public key). Returns false when the tool failed.
bool MakeKeyPair(const std::string& dir);

/// Signs `file` with dir/key.pem (RSA, SHA-256) into `signature`, raw bytes.
bool SignFile(const std::string& dir, const std::string& file, const std::string& signature);

}  // namespace upd::test
