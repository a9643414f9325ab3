// Faults of the simulated instrument: a failing medium, a full disk, calls that
// fail, an unmount that fails, a power cut. A test (or a release engineer who
// wants to see how a medium copes) writes them to DIR/sim/faults before a run.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace upd::sim {

/// The calls a fault can hit.
enum class FaultCall { kCreate, kRead, kWrite, kUnlink, kRename, kLink, kMkdir, kChmod, kUmount };

/// One line of the plan: every `call` on instrument path `path` (exactly as the
/// updater names it; for a rename or a link the existing name) fails with errno value `error`.
/// kCreate is an open for writing. Reads and writes fail only once `after` bytes
/// of the stream have passed.
struct Fault {
  FaultCall call;
  std::string path;
  int error;
  long long after;
};

/// The faults of one run. Without a plan file the plan is empty.
struct FaultPlan {
  std::vector<Fault> faults;
  /// The power fails just before this change to the instrument's files (1 for
  /// the first); 0 for never. Changes are: opening a file for writing, removing,
  /// renaming, linking, making a directory, setting a mode, fsync and sync.
  unsigned long cutBefore = 0;

  /// The fault for `call` on `path`, or nullptr.
  [[nodiscard]] const Fault* Find(FaultCall call, std::string_view path) const;
};

/// Reads the plan of the instrument in `root` (its file sim/faults) into `plan`.
/// Returns "" or what is wrong with the file. Its lines:
///   create|read|write|unlink|rename|link|mkdir|chmod|umount PATH ERRNO-NAME [BYTES]
///   cut N
/// Blank lines and lines starting with '#' are passed over.
[[nodiscard]] std::string LoadFaultPlan(const std::string& root, FaultPlan& plan);

/// Wraps the open stream `real` so that its reads or writes fail as `fault`
/// says. The wrapper owns `real` and closes it. nullptr (and `real` closed)
/// when no wrapper can be made.
[[nodiscard]] std::FILE* FaultyStream(std::FILE* real, const Fault& fault, const char* mode);

}  // namespace upd::sim
