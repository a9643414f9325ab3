#include "operations/backup.h"

#include <array>

#include "common/error_codes.h"
#include "common/update_info.h"
#include "fileutil/fileops.h"
#include "manifest/store.h"

namespace upd {

namespace {

constexpr int kValueSize = 514;  // values of at most 513 characters
constexpr mode_t kDirectoryMode = 0755;
constexpr auto& kKeys = kBackupKeys;

constexpr bool AllFit() {
  for (const BackupKey& key : kKeys) {
    if (key.rule.size > kValueSize) return false;
  }
  return true;
}
static_assert(AllFit(), "every value buffer holds its key's longest value");

}  // namespace

int BackupFiles(const char* section, UpdateInfo* info) {
  std::array<std::array<char, kValueSize>, kKeys.size()> values{};
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    if (LookUpKey(section, kKeys[i].rule, values[i].data()) == KeyState::kTooLong) {
      info->error = kKeys[i].rule.tooLongCode;
      return 0;
    }
  }

  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    if (!kKeys[i].isDestination) continue;
    const char* dir = values[i].data();
    if (exists(dir) == 0 && MakeDirectory(dir, kDirectoryMode) != 0) {
      info->error = kErrMakeDirectory;
      return 0;
    }
  }
  return 1;
}

}  // namespace upd
