// "TransferFile": installs one file from the medium through a verified interim
// copy, keeping the previous file at a backup path.
#pragma once

#include "driver/update_info.h"

namespace upd {

/// Installs the file that manifest section `section` names. Returns 1 on success,
/// which includes skipping an older or same build (UPD_TIMESTAMP_OLDER /
/// UPD_TIMESTAMP_SAME set in info->flags, nothing touched) and skipping a
/// destination that already holds the wanted content ("NoUpdateSame"). Returns
/// 0 with the error code in info->error otherwise:
///   601-604, 608, 609, 611, 612  a path key is missing (nothing touched);
///   605  a value too long, a switch neither "true" nor "false" (any case), or
///        interim, destination and backup paths that are not three distinct
///        files (nothing touched);
///   631  a timestamp cannot be converted; 651 the source is missing;
///   648  InterimDir or DestDir cannot be created; 658 the interim copy failed;
///   649 / 670  the interim copy's MD5 / SHA-256 differs from the manifest's;
///   654  the destination cannot become the backup, or it is missing while
///        "DestNoExist" is off (checked before the old backup is removed);
///   620  the verified copy's mode cannot be set to 0755 (checked before the
///        old backup is removed: nothing else touched);
///   653  the old backup cannot be removed; 655 the interim copy cannot be moved
///        into place (the previous file is then at the destination and at the
///        backup path; where the file system has no hard links, only at the
///        backup path).
/// The previous file is linked to the backup path and the new one renamed over
/// it, so the destination always names a whole, executable file, even after a
/// power cut. The interim copy is never removed; a later run overwrites it.
[[nodiscard]] int TransferFile(const char* section, UpdateInfo* info);

}  // namespace upd
