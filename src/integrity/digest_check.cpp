#include "integrity/digest_check.h"

#include <cstring>

#include "integrity/md5.h"
#include "integrity/sha256.h"

namespace upd {

bool Md5Matches(const char* path, const char* expected) {
  char md5[kMd5TextSize] = {};
  return MD5Hash(path, md5, kMd5TextSize) != 0 && std::strcmp(md5, expected) == 0;
}

bool Sha256Matches(const char* path, const char* expected) {
  char sha256[kSha256TextSize] = {};
  return SHA256Hash(path, sha256) != 0 && std::strcmp(sha256, expected) == 0;
}

bool FileMatchesDigests(const char* path, const ExpectedDigests& expected) {
  return (expected.md5 == nullptr || Md5Matches(path, expected.md5)) &&
         (expected.sha256 == nullptr || Sha256Matches(path, expected.sha256));
}

}  // namespace upd
