#include "integrity/sha256.h"

#include <openssl/evp.h>

#include <array>
#include <cstddef>
#include <cstdio>

#include "integrity/digest_io.h"

namespace upd {

namespace {

constexpr std::size_t kReadBytes = 4096;
constexpr std::size_t kDigestBytes = 32;

}  // namespace

int SHA256Hash(const char* path, char* out) {
  if (out == nullptr) return 0;
  digest_io::InputFile file(path);
  if (!file.is_open()) return 0;

  const digest_io::MdCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return 0;

  std::array<unsigned char, kReadBytes> block;
  for (;;) {
    const std::size_t got = std::fread(block.data(), 1, block.size(), file.get());
    if (got != 0 && EVP_DigestUpdate(ctx.get(), block.data(), got) != 1) return 0;
    if (got == block.size()) continue;
    // A short read ends the file or reports an error; the digest of the part
    // read so far must not pass for the digest of the file.
    if (std::ferror(file.get()) != 0) return 0;
    if (std::feof(file.get()) != 0) break;
  }

  std::array<unsigned char, kDigestBytes> digest;
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) != 1 || length != digest.size()) {
    return 0;
  }
  digest_io::WriteLowerHex(digest.data(), digest.size(), out);
  return 1;
}

}  // namespace upd
