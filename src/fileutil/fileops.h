// src/fileutil: files by path (through the platform seam), the line reader,
// folder listings and list splitters.
//
// File operations by path: the only code that opens, tests, renames, removes or
// creates files by name. Every path goes through the platform seam first, so a
// simulated instrument sees its own files; streams are opened by the seam, and it
// may refuse a change (a simulated fault), which then fails as the call would.
//
// Truth results are 1 and 0. Nothing here prints or sets an error code of its own.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>

namespace upd {

/// 1 when `path` is non-null, non-empty and names an existing entry of any kind
/// (links followed, so a dangling link does not exist); else 0.
[[nodiscard]] int exists(const char* path);

/// Size of the open descriptor `fd` in bytes; -1 when fstat fails or the size
/// does not fit a signed 32-bit number.
[[nodiscard]] std::int32_t filelen(int fd);

/// filelen() of the descriptor under `stream`; the stream is not flushed first.
/// -1 for a null stream.
[[nodiscard]] std::int32_t filelen_fp(std::FILE* stream);

/// Size in bytes of the file under the open `stream` (a simulated fault's
/// wrapper included), as the file system knows it; -1 when it cannot be told.
[[nodiscard]] long long StreamSize(std::FILE* stream);

/// 1 when stat(path) succeeds (links followed) and the mode has the regular-file
/// bit 0x8000 set; else 0.
[[nodiscard]] int isord(const char* path);

/// Removes one directory entry (never a directory). 1 when removed, else 0.
[[nodiscard]] int RemoveFile(const char* path);

/// Rename results, tested in this order.
inline constexpr int kRenameOk = 0;
inline constexpr int kRenameNoOldName = -7;    // oldName null or empty
inline constexpr int kRenameNoNewName = -5;    // newName null or empty
inline constexpr int kRenameOldMissing = -6;   // oldName does not exist
inline constexpr int kRenameNewExists = -4;    // newName exists; nothing changed
inline constexpr int kRenameAccess = -1;       // rename failed with EACCES
inline constexpr int kRenameCrossDevice = -3;  // rename failed with EXDEV
inline constexpr int kRenameNoEntry = -2;      // rename failed with ENOENT
inline constexpr int kRenameOther = -8;        // rename failed otherwise

/// Renames within one file system and never replaces an existing entry: a
/// newName that names anything, a dangling symbolic link included, gives
/// kRenameNewExists. Returns kRenameOk or one of the negative codes above.
[[nodiscard]] int Rename(const char* oldName, const char* newName);

/// As Rename, but an existing newName (a file) is replaced in the same step:
/// at every moment newName names either the old or the new file. Never gives
/// kRenameNewExists.
[[nodiscard]] int ReplaceFile(const char* oldName, const char* newName);

/// Gives the file `existing` a second name `newName` (a hard link), which must
/// not exist. Returns 0 or the errno value of the failure (EPERM, for one, on a
/// file system without hard links).
[[nodiscard]] int LinkFile(const char* existing, const char* newName);

/// 1 when `a` and `b` are the same text after turning backslashes into slashes
/// and folding ASCII letters, comparing at most their first 512 characters.
/// No other normalisation: "a//b", "./a" and "a/" differ from "a/b", "a", "a".
[[nodiscard]] int SamePath(const char* a, const char* b);

/// 1 when `a` and `b` name the same file, however they are spelt; else 0 (also
/// for a null argument). They do when SamePath says so; when, with backslashes
/// as slashes and ASCII letters folded, their lexical normal forms are equal
/// ("//" and "." dropped, ".." taking back the name before it, a trailing "/"
/// removed: "d//x/./y/../z/" is "d/x/z"); or when both exist with one device
/// and inode, links followed (a symbolic link, a hard link, another name of a
/// folder on the way). A path that does not exist is known by its folder's
/// device and inode and its last name (ASCII case folded), so a file yet to be
/// made compares equal to another name of it. Looks, changes nothing.
[[nodiscard]] int SameFile(const char* a, const char* b);

/// 1 when `a` and `b` are two directory entries of one file (hard links): both
/// exist, neither is a symbolic link, they have one device and inode, and they
/// lie in different folders or have different names (ASCII case folded); else
/// 0, also for two spellings of one entry.
[[nodiscard]] int HardLinked(const char* a, const char* b);

/// 1 when stat(path) succeeds (links followed) and names a directory; else 0.
[[nodiscard]] int isdir(const char* path);

/// Copies the regular file `src` to `dst` (created or replaced) in 2048-byte
/// blocks (behind 128 KiB stream buffers, when memory allows), then syncs.
/// 1 on success, 0 on failure. Refuses, touching nothing, when the two are the
/// same file (SameFile), when `dst` exists and is not a regular file, or when
/// `src` is missing or not a regular file. An existing `dst` is opened without
/// truncating and emptied only once the two open files are known to differ, so
/// the source is never cut short, whatever name reaches it. A failure after
/// `dst` was opened leaves it behind with what had been written.
[[nodiscard]] int CopyFile(const char* src, const char* dst);

/// fopen() of an instrument path; nullptr on failure (errno set).
[[nodiscard]] std::FILE* OpenFile(const char* path, const char* mode);

/// Closes a stream held by FilePtr.
struct FileCloser {
  void operator()(std::FILE* stream) const noexcept;
};
/// Owns an open stream; closes it when it goes out of scope.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

/// mkdir() of an instrument path. Returns 0 or the errno value of the failure.
[[nodiscard]] int MakeDirectory(const char* path, mode_t mode);

/// chmod() of an instrument path. Returns 0 or the errno value of the failure.
[[nodiscard]] int SetMode(const char* path, mode_t mode);

/// Flushes the open stream `stream` and makes its file's data durable (fsync),
/// so that a power cut leaves the file as it is now. 1 on success, 0 on failure
/// (errno set); a null stream fails.
[[nodiscard]] int SyncFile(std::FILE* stream);

}  // namespace upd
