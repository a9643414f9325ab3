// What a path names when links are not followed, and the entries of a folder
// tree: for looking at a medium without opening anything on it (a FIFO with no
// writer blocks an open, a device may never end) and without leaving it
// through a link. Paths go through the platform seam, as in fileops.h.
#pragma once

#include <functional>
#include <string>

namespace upd {

/// The kinds of directory entry, as lstat() tells them apart.
enum class EntryKind { kNone, kFile, kFolder, kLink, kFifo, kDevice, kSocket };

/// The kind of entry `path` names, its last component not followed (a link is
/// kLink, dangling or not). kNone when there is no such entry: lstat() fails,
/// also for a null or empty path.
[[nodiscard]] EntryKind EntryKindOf(const char* path);

/// Visits every entry below folder `root` (not `root` itself) with its path
/// relative to `root` ("firmware/app") and its kind. Folders are entered,
/// links never; each folder's entries come in name order, before those of its
/// subfolders. Returns 1 when every folder could be listed, 0 otherwise (the
/// walk still visits what it could list).
[[nodiscard]] int WalkEntries(const char* root,
                              const std::function<void(const std::string&, EntryKind)>& visit);

}  // namespace upd
