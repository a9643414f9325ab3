// Replacing an installed file without losing it, the steps that "TransferFile"
// and "ConfigUpdate" share: the installed file keeps a second name at the
// backup path, the new file (written and synced under a name of its own) is
// renamed over it in one step, and the folder is synced so that the change of
// names survives a power cut. At no moment does the installed path name a
// missing or partial file.
#pragma once

namespace upd {

/// How KeepAsBackup kept the installed file.
enum class Kept {
  kLinked,  // `backup` is a second name of the installed file
  kCopied,  // `backup` is a synced copy of it, with the default creation mode
  kFailed,  // nothing is left at `backup`
};

/// Gives the installed file `installed` the further name `backup`, which must
/// not exist: a hard link, or, where the file system makes none (EPERM, EXDEV,
/// EOPNOTSUPP, EMLINK), a copy made durable before this returns. The installed
/// file itself is never moved or changed. A copy that fails part way is
/// removed again.
[[nodiscard]] Kept KeepAsBackup(const char* installed, const char* backup);

/// Makes the names in the folder that holds `path` durable (fsync of the
/// folder): the folder is everything before the last '/', "/" for a name right
/// under the root, the working folder for a bare name. Best effort: a folder
/// that cannot be opened or synced is passed over, its names stay as made.
void SyncFolderOf(const char* path);

}  // namespace upd
