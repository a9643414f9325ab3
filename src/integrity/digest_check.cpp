#include "integrity/digest_check.h"

#include <cstring>

#include "integrity/md5.h"
#include "integrity/sha256.h"

namespace upd {

bool FileMatchesDigests(const char* path, const ExpectedDigests& expected) {
  if (expected.md5 != nullptr) {
    char md5[kMd5TextSize] = {};
    if (MD5Hash(path, md5, kMd5TextSize) == 0 || std::strcmp(md5, expected.md5) != 0) return false;
  }
  if (expected.sha256 != nullptr) {
    char sha256[kSha256TextSize] = {};
    if (SHA256Hash(path, sha256) == 0 || std::strcmp(sha256, expected.sha256) != 0) return false;
  }
  return true;
}

}  // namespace upd
