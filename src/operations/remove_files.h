// "RemoveFiles": removes the files that the manifest lists.
#pragma once

#include "common/error_codes.h"
#include "manifest/key_rules.h"

namespace upd {

struct UpdateInfo;

/// The rule of "RemoveFiles" entry `name` ("file1", "file2", ...): values of
/// 514 characters or more stop the run with 656.
[[nodiscard]] constexpr KeyRule RemoveFilesRule(const char* name) {
  return {name, 514, kErrRemoveValue, 0, false};
}

/// Room for "file" and any int.
inline constexpr int kRemoveFilesKeySize = 128;

/// The name of "RemoveFiles" entry number n: "file<n>".
void RemoveFilesKey(char (&key)[kRemoveFilesKeySize], int n);

/// "RemoveFiles": removes the existing files named by file1, file2, ... up to the
/// first missing number. A value of 514 characters or more stops at once with
/// 656; files that cannot be removed are reported with 657 after the whole list.
/// Returns 1 when the step is done, leaving info->error as it was; otherwise 0
/// with the code in info->error.
[[nodiscard]] int RemoveFiles(const char* section, UpdateInfo* info);

}  // namespace upd
