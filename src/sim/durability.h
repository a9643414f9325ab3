// What a power cut leaves of the simulated instrument's files.
//
// A journaling file system keeps its names and modes across a power cut, but
// only the data that reached the disk: what a file held at its last fsync, or at
// the last sync. The tracker keeps, for every file opened for writing since the
// last sync, its duplicate descriptor and that durable content, and puts it back
// when the power fails. At the start of a run every file counts as synced.
//
// The content is taken when a file is first opened for writing after a sync, so
// what a stream opened before a sync writes after it counts as durable; the
// updater keeps only its diagnostic logs open that long. Files that commands
// write (`--commands run`) are not tracked at all.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace upd::sim {

class DurabilityTracker {
 public:
  DurabilityTracker() = default;
  ~DurabilityTracker();
  DurabilityTracker(const DurabilityTracker&) = delete;
  DurabilityTracker& operator=(const DurabilityTracker&) = delete;

  /// `fd` has just been opened for writing, and nothing has been written or
  /// truncated yet: the file's content now is its durable content, unless the
  /// file is tracked already. `fd` must be open for reading too; the caller
  /// keeps it. Files other than regular files are not tracked.
  void Opened(int fd);

  /// An fsync of the file open at `fd`: its content now is durable.
  void Synced(int fd);

  /// A sync: every file's content now is durable.
  void SyncedAll();

  /// The power fails: every tracked file gets its durable content back, through
  /// its own descriptor, whatever it is called now and whether or not it still
  /// has a name.
  void LoseUnsynced() const noexcept;

 private:
  struct File {
    int fd;               // a duplicate, closed with the entry
    std::string durable;  // the content at the last sync
  };
  using Key = std::pair<dev_t, ino_t>;

  void Drop(std::map<Key, File>::iterator file);

  std::map<Key, File> files_;
};

/// OpenAt() of `where` with `mode` for a stream that writes ("w", "a" or a
/// "+" mode): the file is shown to `tracker` before a "w" mode truncates it.
/// nullptr (errno set) on failure.
[[nodiscard]] std::FILE* OpenTrackedStream(const platform::HostPath& where, const char* mode,
                                           DurabilityTracker& tracker);

}  // namespace upd::sim
