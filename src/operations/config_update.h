// The "ConfigUpdate" operation: brings a configuration file on the instrument
// up to a newer template without losing the values the instrument holds.
//
// A configuration file's first line is its version line: after leading blanks,
// a first word of "V" or "v" followed at once by a decimal number ('V1.05').
// Versions compare as plain numbers, so 'V1.10' (1.1) is below 'V1.9'. Every
// further line is keyed by its first word (leading blanks skipped); blank and
// comment lines take part like any other. Lines are read through the line
// reader (ReadFile2), so the rewritten file is in its normal form: carriage
// returns dropped, tabs expanded, trailing blanks removed.
#pragma once

#include <array>
#include <cstddef>

#include "common/error_codes.h"
#include "integrity/digest_check.h"
#include "manifest/key_rules.h"

namespace upd {

struct LineList2;
struct UpdateInfo;

/// The keys of a "ConfigUpdate" section, in the order they are read and in
/// which a missing one is reported; a path value of 256 characters or more, a
/// digest of 512 or more, fails with 624. "MD5Hash" and "SHA256Hash", the
/// template's digests, may be absent.
inline constexpr std::array<KeyRule, 8> kConfigKeys = {{
    {"SrcDir", 256, kErrCfgValue, kErrCfgNoSrcDir, false},
    {"SrcFile", 256, kErrCfgValue, kErrCfgNoSrcFile, false},
    {"DestDir", 256, kErrCfgValue, kErrCfgNoDestDir, false},
    {"DestFile", 256, kErrCfgValue, kErrCfgNoDestFile, false},
    {"BackupDir", 256, kErrCfgValue, kErrCfgNoBackupDir, false},
    {"BackupFile", 256, kErrCfgValue, kErrCfgNoBackupFile, false},
    {"MD5Hash", kDigestValueSize, kErrCfgValue, 0, false},
    {"SHA256Hash", kDigestValueSize, kErrCfgValue, 0, false},
}};

/// Joined "dir/file" paths: two values of 255 characters and the slash fit.
inline constexpr int kConfigPathSize = 513;

/// The three paths of a "ConfigUpdate" section and the template's digests.
struct ConfigPaths {
  std::array<char, kConfigPathSize> source;   // SrcDir/SrcFile: the template
  std::array<char, kConfigPathSize> dest;     // DestDir/DestFile: the installed file
  std::array<char, kConfigPathSize> backup;   // BackupDir/BackupFile
  std::array<char, kDigestValueSize> md5;     // "MD5Hash", when hasMd5
  std::array<char, kDigestValueSize> sha256;  // "SHA256Hash", when hasSha256
  bool hasMd5;
  bool hasSha256;

  /// The template's digest entries, null where absent.
  [[nodiscard]] ExpectedDigests digests() const {
    return {hasMd5 ? md5.data() : nullptr, hasSha256 ? sha256.data() : nullptr};
  }
};

/// Reads section `section` into *paths, touching no file. Returns 0, or the
/// code ConfigUpdate fails with: 624 for a value that does not fit, else the
/// code of the first key missing, else 624 when the backup path names the
/// destination or the template (SameFile), a hard link of the destination
/// (HardLinked) excepted.
[[nodiscard]] int ReadConfigPaths(const char* section, ConfigPaths* paths);

/// Performs the "ConfigUpdate" step described by manifest section `section`.
/// Keys (each at most 255 characters): "SrcDir"/"SrcFile" name the template,
/// "DestDir"/"DestFile" the installed file, "BackupDir"/"BackupFile" its backup;
/// each pair is joined as "dir/file".
///
/// When the template's version is strictly higher, the destination is
/// replaced by the merge: the template's version word, then every template
/// line in order, each replaced by the installed file's next line when their
/// keys are equal (case-sensitive). The installed file is walked forward only
/// on such a match, so an installed key the template lacks holds up the walk
/// for the rest of the file; installed lines never matched are dropped.
///
/// The installed settings are never missing or partial, not even at a power
/// cut: the merge is written as "DEST.new" beside the destination (a leftover
/// of that name is removed first) and synced; the installed file gets the
/// backup path as a second name (a hard link; a synced copy where links
/// fail), and "DEST.new" is renamed over the destination, whose folder is then
/// synced. The merged file has the default creation mode of a stream.
///
/// Returns 1 on success with info->error 0, also when nothing needed rewriting
/// (every file then as it was, the backup included). Returns 0 with the code
/// in info->error; after every code the destination is as it was:
///   624 a value of 256 characters or more, or a backup path that names the
///       destination or the source file, however spelt or linked (SameFile; a
///       second hard link of the destination is no alias): nothing touched;
///   642 the destination or backup path names a folder: nothing touched;
///   618, 619, 616, 617, 614, 615 the first key missing, in that order:
///       nothing touched;
///   630 source missing, 623 destination missing: nothing touched;
///   643 the template does not match an "MD5Hash" or "SHA256Hash" entry
///       present (compared as text, as "TransferFile" does), it cannot be
///       read for its digest, or it changed while its lines were read: the
///       digests are taken before and again after the lines are read, so the
///       merge uses the very bytes they cover; nothing touched;
///   627 / 626 source / destination cannot be read (a line of more than 511
///       characters included), 662 / 663 source / destination without a valid
///       version line: nothing touched;
///   628 an existing backup cannot be removed: nothing else touched;
///   625 "DEST.new" cannot be created, or cannot be renamed over the
///       destination: the earlier backup is gone; after a failed rename the
///       backup path holds the installed file;
///   622 writing, flushing, syncing or closing "DEST.new" failed: the earlier
///       backup is gone;
///   629 the installed file can neither be linked nor copied to the backup
///       path: the earlier backup is gone and nothing is at the backup path.
/// A "DEST.new" that this call wrote is removed again after 622, 625 and 629.
/// `info` must not be null.
[[nodiscard]] int ConfigUpdate(const char* section, UpdateInfo* info);

/// Reads the version from the first line of `list` (its `word`): blanks
/// skipped, then "V" or "v", then a number converted as atof() does. Returns 1
/// and stores it in *version; returns 0, storing nothing, for a null list,
/// word or `version`, another first letter, a value of 0 (no number at all
/// included) or a value that is not finite ('Vnan', 'V1e999').
/// Example: "  V2.5" -> 2.5; "v3" -> 3; "V1.10" -> 1.1; "V" and "V0" fail.
[[nodiscard]] int GetVersion(const LineList2* list, double* version);

}  // namespace upd
