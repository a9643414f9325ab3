#include "operations/replace.h"

#include <cerrno>
#include <string>
#include <string_view>

#include "fileutil/fileops.h"

namespace upd {

namespace {

// The errors of a file system that cannot give a file a second name at all,
// or not this one: the backup is then a copy instead.
bool LinksUnavailable(int error) {
  switch (error) {
    case EPERM:       // vfat and others without hard links
    case EXDEV:       // the backup lies on another file system
    case EOPNOTSUPP:  // also ENOTSUP on Linux
    case EMLINK:      // the file has as many names as it may
      return true;
    default:
      return false;
  }
}

}  // namespace

Kept KeepAsBackup(const char* installed, const char* backup) {
  const int linkError = LinkFile(installed, backup);
  if (linkError == 0) return Kept::kLinked;
  if (!LinksUnavailable(linkError)) return Kept::kFailed;
  // CopyFile ends with a sync, so the copy is whole before anything replaces
  // the installed file.
  if (CopyFile(installed, backup) != 0) return Kept::kCopied;
  // What a failed copy left is no backup; the next run would remove it anyway.
  if (exists(backup) != 0) (void)RemoveFile(backup);
  return Kept::kFailed;
}

void SyncFolderOf(const char* path) {
  const std::string_view text = path != nullptr ? path : "";
  const std::size_t slash = text.rfind('/');
  const std::string folder = slash == std::string_view::npos ? std::string(".")
                             : slash == 0                    ? std::string("/")
                                                             : std::string(text.substr(0, slash));
  // A folder opens read-only; fsync on that descriptor writes its entries.
  const FilePtr stream(OpenFile(folder.c_str(), "r"));
  if (stream) (void)SyncFile(stream.get());
}

}  // namespace upd
