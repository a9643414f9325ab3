#include "operations/backup.h"

#include <array>

#include "driver/error_codes.h"
#include "driver/update_info.h"
#include "fileutil/fileops.h"
#include "manifest/store.h"

namespace upd {

namespace {

constexpr int kValueSize = 514;  // values of at most 513 characters
constexpr mode_t kDirectoryMode = 0755;

struct SectionKey {
  const char* name;
  int tooLongCode;
  bool isDestination;  // created, in read order
};

constexpr std::array<SectionKey, 5> kKeys = {{
    {"DestDir", kErrNoSrcDir, true},
    {"SrcDir1", kErrNoSrcDir, false},
    {"DestDir1", kErrNoDestDir, true},
    {"SrcDir2", kErrNoSrcDir, false},
    {"DestDir2", kErrNoDestDir, true},
}};

}  // namespace

int BackupFiles(const char* section, UpdateInfo* info) {
  std::array<std::array<char, kValueSize>, kKeys.size()> values{};
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    bool found = false;
    if (GetAuxInfo(section, kKeys[i].name, values[i].data(), kValueSize, &found) == 0) {
      info->error = kKeys[i].tooLongCode;
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
