// The manifest's signature gate (-s): the public key, the signature file and
// the manifest's bytes, verified in this order.
#pragma once

namespace upd {

/// Where the gate stopped; kPassed when the signature verified.
enum class GateStep {
  kPassed,
  kKeyHandle,  // no key handle could be made
  kPublicKey,  // the public key file cannot be read as an RSA public key (PEM)
  kSignature,  // the signature file cannot be read
  kManifest,   // the manifest's bytes cannot be read
  kVerify,     // the signature does not verify (VerifyIt prints the library's step)
  kParse,      // the verified bytes cannot be parsed as a manifest
};

/// Verifies the signature at `signaturePath` of the file at `manifestPath`
/// with the key at `keyPath` (all instrument paths). On kPassed the manifest
/// store holds what was parsed from the very bytes whose signature was
/// checked, so a medium that changes between the reads cannot slip unsigned
/// steps in. Any other result leaves the store as it was.
[[nodiscard]] GateStep VerifyManifest(const char* keyPath, const char* signaturePath,
                                      const char* manifestPath);

}  // namespace upd
