#include "operations/remove_files.h"

#include <cstdio>

#include "common/update_info.h"
#include "fileutil/fileops.h"
#include "operations/commands.h"

namespace upd {

namespace {

// The step's code: 0 when it is done.
int Run(const char* section) {
  bool removalFailed = false;
  for (int n = 1;; ++n) {
    char key[kRemoveFilesKeySize] = {};
    RemoveFilesKey(key, n);
    char path[kPathValueSize] = {};
    const KeyState state = LookUpKey(section, RemoveFilesRule(key), path);
    if (state == KeyState::kTooLong) return kErrRemoveValue;
    if (state == KeyState::kAbsent) break;
    if (exists(path) != 0 && RemoveFile(path) == 0) removalFailed = true;
  }
  return removalFailed ? kErrRemoveFailed : 0;
}

}  // namespace

void RemoveFilesKey(char (&key)[kRemoveFilesKeySize], int n) {
  std::snprintf(key, sizeof key, "file%d", n);
}

int RemoveFiles(const char* section, UpdateInfo* info) {
  return FinishStep(Run(section), info);
}

}  // namespace upd
