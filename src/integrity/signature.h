// The manifest's signature check: whole-file reads, the instrument's RSA public
// key, and RSA signature verification with SHA-256.
//
// Formats:
//   - public key: one RSA key as a PEM "PUBLIC KEY" block (SubjectPublicKeyInfo);
//   - signature: the raw RSASSA-PKCS1-v1_5 signature with SHA-256 over the exact
//     bytes of the signed file, as many bytes as the key's modulus, with no
//     header, encoding or line end.
//
// The signature gate calls them in this order: create a key handle with
// EVP_PKEY_new; ReadPublicKey; ReadBytesFromFile of the signature and of the
// manifest; VerifyIt(manifest, signature); then free both buffers and the
// handle. Any 0 fails the gate.
#pragma once

struct evp_pkey_st;  // the library's EVP_PKEY

namespace upd {

/// Reads the whole file at `path` (an instrument path) into a new malloc'd
/// buffer, stores it in *data and its size in *length and returns 1; the
/// caller releases the buffer with free(). An empty file gives a valid
/// (non-null) buffer and a length of 0.
/// Returns 0, with *data and *length untouched, when the file cannot be opened,
/// its size cannot be determined or does not fit an unsigned int, the buffer
/// cannot be allocated, or fewer bytes than the size can be read.
[[nodiscard]] int ReadBytesFromFile(const char* path, unsigned char** data, unsigned int* length);

/// Loads the RSA public key of the PEM file at `path` (an instrument path) into
/// *key, which must hold an empty handle made by EVP_PKEY_new; the handle
/// itself (the pointer in *key) stays the same. Returns 1 when the key was
/// loaded; 0 when `key` or *key is null, the file cannot be opened, holds no
/// PEM public key, holds a key of another type than RSA, or the library fails.
/// On 0 the handle is left empty. Prints nothing.
[[nodiscard]] int ReadPublicKey(const char* path, ::evp_pkey_st** key);

/// Returns 1 when `signature` is a valid signature of the `dataLength` bytes of
/// `data` under `key`, 0 in every other case.
///   - null data, signature or key, or a length of 0: 0 with no message;
///   - a failing library step: 0 after printing one line on standard output,
///     with the library's oldest queued error code in place of %lx:
///       "EVP_MD_CTX_create failed, error 0x%lx\n"
///       "EVP_VerifyInit failed, error 0x%lx\n"
///       "EVP_DigestSignUpdate failed, error 0x%lx\n"
///       "EVP_DigestVerifyFinal failed, error 0x%lx\n" (also for a well-formed
///       signature that does not match the data).
/// The messages keep these names although the last two steps are
/// EVP_DigestVerifyInit and EVP_DigestUpdate.
[[nodiscard]] int VerifyIt(const unsigned char* data, unsigned int dataLength,
                           const unsigned char* signature, unsigned int signatureLength,
                           ::evp_pkey_st* key);

}  // namespace upd
