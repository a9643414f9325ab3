// The "BackupFiles" operation: prepares the directories that a backup of the
// instrument's files goes into. It creates directories only; it copies nothing.
#pragma once

#include <array>

#include "common/error_codes.h"
#include "manifest/key_rules.h"

namespace upd {

struct UpdateInfo;

/// One key of a "BackupFiles" section. None is required: an absent key is an
/// empty value, and an empty destination cannot be created (648).
struct BackupKey {
  KeyRule rule;
  bool isDestination;  // a directory that is created, in table order
};

/// The keys in the order they are read; values of 514 characters or more fail
/// with the row's code at once.
inline constexpr std::array<BackupKey, 5> kBackupKeys = {{
    {{"DestDir", 514, kErrNoSrcDir, 0, false}, true},
    {{"SrcDir1", 514, kErrNoSrcDir, 0, false}, false},
    {{"DestDir1", 514, kErrNoDestDir, 0, false}, true},
    {{"SrcDir2", 514, kErrNoSrcDir, 0, false}, false},
    {{"DestDir2", 514, kErrNoDestDir, 0, false}, true},
}};

/// Performs the "BackupFiles" step described by manifest section `section`.
/// Reads "DestDir", "SrcDir1", "DestDir1", "SrcDir2", "DestDir2" in that order,
/// each at most 513 characters; an absent key counts as an empty value. The
/// two source directories are only length-tested. Then, for DestDir, DestDir1
/// and DestDir2 in that order, a path that does not exist is created with mode
/// 0755 (its last level only: the parent must exist, so DestDir1 and DestDir2
/// may lie inside DestDir). A path that exists is accepted whatever it is.
///
/// Returns 1 on success, leaving info->error as it was. Returns 0 with the
/// code in info->error:
///   611 "DestDir", "SrcDir1" or "SrcDir2" of 514 characters or more,
///   603 "DestDir1" or "DestDir2" of 514 characters or more (the first value
///       too long in read order decides; nothing is created);
///   648 a destination directory is missing and cannot be created, an empty or
///       absent one included; the directories created before it stay.
/// `info` must not be null.
[[nodiscard]] int BackupFiles(const char* section, UpdateInfo* info);

}  // namespace upd
