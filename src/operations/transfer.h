// "TransferFile": installs one file from the medium through a verified interim
// copy, keeping the previous file at a backup path.
#pragma once

#include <array>
#include <cstddef>

#include "common/error_codes.h"
#include "common/update_info.h"
#include "manifest/key_rules.h"

namespace upd {

/// The keys of a "TransferFile" section, in the order they are read and, for
/// the eight path keys, the order in which a missing one is reported. Every
/// value that does not fit, and a switch that is neither "true" nor "false",
/// fails with 605. "MD5Hash" and "SHA256Hash" may be absent: they then stay
/// empty and never match.
inline constexpr std::array<KeyRule, 14> kTransferKeys = {{
    {"SrcDir", 256, kErrTransferValue, kErrNoSrcDir, false},
    {"SrcFile", 256, kErrTransferValue, kErrNoSrcFile, false},
    {"InterimDir", 256, kErrTransferValue, kErrNoInterimDir, false},
    {"InterimFile", 256, kErrTransferValue, kErrNoInterimFile, false},
    {"DestDir", 256, kErrTransferValue, kErrNoDestDir, false},
    {"DestFile", 256, kErrTransferValue, kErrNoDestFile, false},
    {"BackupDir", 256, kErrTransferValue, kErrNoBackupDir, false},
    {"BackupFile", 256, kErrTransferValue, kErrNoBackupFile, false},
    {"TimeStamp", 32, kErrTransferValue, 0, false},
    {"MD5Hash", 512, kErrTransferValue, 0, false},
    {"SHA256Hash", 512, kErrTransferValue, 0, false},
    {"DestNoExist", 16, kErrTransferValue, 0, true},
    {"TimeStampCheck", 16, kErrTransferValue, 0, true},
    {"NoUpdateSame", 16, kErrTransferValue, 0, true},
}};

/// Index of a key in kTransferKeys.
enum TransferKey : std::size_t {
  kTransferSrcDir,
  kTransferSrcFile,
  kTransferInterimDir,
  kTransferInterimFile,
  kTransferDestDir,
  kTransferDestFile,
  kTransferBackupDir,
  kTransferBackupFile,
  kTransferTimeStamp,
  kTransferMd5Hash,
  kTransferSha256Hash,
  kTransferDestNoExist,
  kTransferTimeStampCheck,
  kTransferNoUpdateSame,
};

/// Joined "dir/file" paths: two values of 255 characters and the slash fit.
inline constexpr int kTransferPathSize = 513;

/// A "TransferFile" section as the operation reads it.
struct TransferSettings {
  std::array<std::array<char, 512>, kTransferKeys.size()> values;  // "" when absent
  bool timeStampGate;                   // "TimeStamp" present and "TimeStampCheck" not "false"
  bool destNoExist;                     // "DestNoExist" is "true"
  bool noUpdateSame;                    // "NoUpdateSame" is "true"
  char source[kTransferPathSize];       // SrcDir/SrcFile
  char interim[kTransferPathSize];      // InterimDir/InterimFile
  char destination[kTransferPathSize];  // DestDir/DestFile
  char backup[kTransferPathSize];       // BackupDir/BackupFile

  [[nodiscard]] const char* Value(TransferKey key) const { return values[key].data(); }
};

/// Reads section `section` into *settings, touching no file. Returns 0, or the
/// code TransferFile fails with: 605 for the first value that does not fit or
/// switch that is not "true"/"false" (in key order), else the code of the first
/// path key missing, else 605 when the interim, destination and backup paths
/// are not three distinct files (SameFile, which looks at the files through the
/// platform seam), but for destination and backup paths that are two hard
/// links of one file (HardLinked).
[[nodiscard]] int ReadTransferSettings(const char* section, TransferSettings* settings);

/// The build-timestamp gate of one section, with the run's -t and -f in
/// `info`. Only when settings.timeStampGate holds, -t was given and -f was
/// not: converts both timestamps (631 when either fails) and sets
/// UPD_TIMESTAMP_SAME or UPD_TIMESTAMP_OLDER in info->flags for a section that
/// is not newer. Sets *skip when the section is to be passed over: the gate is
/// on and either bit is set, by this section or an earlier one. Returns 0 or 631.
[[nodiscard]] int ApplyTimeStampGate(const TransferSettings& settings, UpdateInfo* info,
                                     bool* skip);

/// Installs the file that manifest section `section` names. Returns 1 on success,
/// which includes skipping an older or same build (UPD_TIMESTAMP_OLDER /
/// UPD_TIMESTAMP_SAME set in info->flags, nothing touched) and skipping a
/// destination that already holds the wanted content ("NoUpdateSame"). Returns
/// 0 with the error code in info->error otherwise:
///   601-604, 608, 609, 611, 612  a path key is missing (nothing touched);
///   605  a value too long, a switch neither "true" nor "false" (any case), or
///        interim, destination and backup paths that are not three distinct
///        files, however spelt or linked (nothing touched);
///   642  the destination or backup path names a folder (nothing touched);
///   631  a timestamp cannot be converted; 651 the source is missing;
///   648  InterimDir or DestDir cannot be created; 658 the interim copy failed;
///   649 / 670  the interim copy's MD5 / SHA-256 differs from the manifest's;
///   654  the destination can neither be linked nor copied to the backup path
///        (nothing is left there), or it is missing while "DestNoExist" is
///        off (checked before the old backup is removed);
///   620  the verified copy's mode cannot be set to 0755 (checked before the
///        old backup is removed: nothing else touched);
///   653  the old backup cannot be removed; 655 the interim copy cannot be moved
///        into place (the previous file is then at the destination and at the
///        backup path).
/// The previous file is linked to the backup path (where links fail: copied
/// there, synced and made mode 0755) and the new one renamed over it, then the
/// destination's folder is synced, so the destination always names a whole,
/// executable file, even after a power cut. The interim copy is never removed;
/// a later run overwrites it.
[[nodiscard]] int TransferFile(const char* section, UpdateInfo* info);

}  // namespace upd
