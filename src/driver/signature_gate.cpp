#include "driver/signature_gate.h"

#include <openssl/evp.h>

#include <memory>

#include "common/heapstr.h"
#include "integrity/signature.h"
#include "manifest/reader.h"

namespace upd {

namespace {

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};

}  // namespace

GateStep VerifyManifest(const char* keyPath, const char* signaturePath, const char* manifestPath) {
  std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_PKEY_new());
  if (!key) return GateStep::kKeyHandle;
  EVP_PKEY* handle = key.get();
  if (ReadPublicKey(keyPath, &handle) == 0) return GateStep::kPublicKey;

  unsigned char* rawSignature = nullptr;
  unsigned int signatureLength = 0;
  if (ReadBytesFromFile(signaturePath, &rawSignature, &signatureLength) == 0) {
    return GateStep::kSignature;
  }
  const MallocPtr<unsigned char> signature(rawSignature);

  unsigned char* rawData = nullptr;
  unsigned int dataLength = 0;
  if (ReadBytesFromFile(manifestPath, &rawData, &dataLength) == 0) return GateStep::kManifest;
  const MallocPtr<unsigned char> data(rawData);

  if (VerifyIt(data.get(), dataLength, signature.get(), signatureLength, key.get()) == 0) {
    return GateStep::kVerify;
  }
  return ReadAuxInfoBytes(data.get(), dataLength) != 0 ? GateStep::kPassed : GateStep::kParse;
}

}  // namespace upd
