#include "integrity/signature.h"

#include <openssl/core.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/pem.h>

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

#include "common/heapstr.h"
#include "fileutil/fileops.h"

namespace upd {

namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

struct PkeyCtxFree {
  void operator()(EVP_PKEY_CTX* ctx) const noexcept { EVP_PKEY_CTX_free(ctx); }
};
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;

struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const noexcept { EVP_MD_CTX_free(ctx); }
};
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

struct ParamsFree {
  void operator()(OSSL_PARAM* params) const noexcept { OSSL_PARAM_free(params); }
};
using ParamsPtr = std::unique_ptr<OSSL_PARAM, ParamsFree>;

// Prints a failed step with the oldest queued library error, then empties the
// queue so that nothing stale is left for a later report.
int Fail(const char* step) {
  std::printf("%s failed, error 0x%lx\n", step, ERR_get_error());
  ERR_clear_error();
  return 0;
}

}  // namespace

int ReadBytesFromFile(const char* path, unsigned char** data, unsigned int* length) {
  if (data == nullptr || length == nullptr) return 0;
  const FilePtr file(OpenFile(path, "rb"));
  if (!file) return 0;

  if (::fseeko(file.get(), 0, SEEK_END) != 0) return 0;
  const off_t end = ::ftello(file.get());
  if (end < 0 || static_cast<std::uintmax_t>(end) > std::numeric_limits<unsigned int>::max()) {
    return 0;
  }
  if (::fseeko(file.get(), 0, SEEK_SET) != 0) return 0;

  const auto size = static_cast<std::size_t>(end);
  // At least one byte, so that an empty file still gives a buffer to free
  // rather than whatever malloc(0) happens to return.
  MallocPtr<unsigned char> buffer(
      static_cast<unsigned char*>(std::malloc(std::max<std::size_t>(size, 1))));
  if (!buffer) return 0;
  // A file that shrank since its size was taken, or that cannot be read (a
  // directory opens but fails here), must not hand back unread bytes.
  if (size != 0 && std::fread(buffer.get(), 1, size, file.get()) != size) return 0;

  *data = buffer.release();
  *length = static_cast<unsigned int>(size);
  return 1;
}

int ReadPublicKey(const char* path, ::evp_pkey_st** key) {
  if (key == nullptr || *key == nullptr) return 0;
  PkeyPtr loaded;
  {
    const FilePtr file(OpenFile(path, "rb"));
    if (!file) return 0;
    loaded.reset(PEM_read_PUBKEY(file.get(), nullptr, nullptr, nullptr));
  }
  // The PEM reader accepts any public key type; only RSA is ours.
  if (!loaded || EVP_PKEY_is_a(loaded.get(), "RSA") != 1) return 0;

  // Move the key material into the caller's own handle rather than replacing
  // the handle, so the pointer the caller made stays the one it frees.
  OSSL_PARAM* raw = nullptr;
  if (EVP_PKEY_todata(loaded.get(), EVP_PKEY_PUBLIC_KEY, &raw) != 1) return 0;
  const ParamsPtr params(raw);
  const PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1) return 0;
  return EVP_PKEY_fromdata(ctx.get(), key, EVP_PKEY_PUBLIC_KEY, params.get()) == 1 ? 1 : 0;
}

int VerifyIt(const unsigned char* data, unsigned int dataLength, const unsigned char* signature,
             unsigned int signatureLength, ::evp_pkey_st* key) {
  if (data == nullptr || dataLength == 0 || signature == nullptr || signatureLength == 0 ||
      key == nullptr) {
    return 0;
  }
  // Errors left by earlier calls would otherwise be reported as this one's.
  ERR_clear_error();

  const MdCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx) return Fail("EVP_MD_CTX_create");
  if (EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key) != 1) {
    return Fail("EVP_VerifyInit");
  }
  if (EVP_DigestVerifyUpdate(ctx.get(), data, dataLength) != 1) {
    return Fail("EVP_DigestSignUpdate");
  }
  if (EVP_DigestVerifyFinal(ctx.get(), signature, signatureLength) != 1) {
    return Fail("EVP_DigestVerifyFinal");
  }
  return 1;
}

}  // namespace upd
