// Helpers shared by the file digests of this folder; not part of the
// subsystem's interface.
#pragma once

#include <openssl/evp.h>

#include <cstddef>
#include <cstdio>
#include <memory>

#include "common/heapstr.h"
#include "fileutil/fileops.h"

namespace upd::digest_io {

/// Writes the 2 * n lower-case hexadecimal digits of `bytes` (each byte most
/// significant digit first) and a NUL into `out`, which holds 2 * n + 1 bytes.
void WriteLowerHex(const unsigned char* bytes, std::size_t n, char* out);

/// Owns an OpenSSL digest context.
struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const noexcept { EVP_MD_CTX_free(ctx); }
};
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

/// A file opened for reading, with a stdio buffer larger than the default
/// behind it so that reads of a few KiB cost few system calls. The stream is
/// closed before the buffer is released.
class InputFile {
 public:
  /// Opens `path` (an instrument path) for reading; see is_open().
  explicit InputFile(const char* path);

  [[nodiscard]] bool is_open() const { return file_ != nullptr; }
  [[nodiscard]] std::FILE* get() const { return file_.get(); }

  /// Closes the stream; true when fclose succeeded. Afterwards is_open() is false.
  [[nodiscard]] bool Close();

 private:
  MallocPtr<char> buffer_;  // declared first: destroyed after file_ is closed
  FilePtr file_;
};

}  // namespace upd::digest_io
