// The simulated instrument's side of the platform seam.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "platform/platform.h"
#include "sim/durability.h"
#include "sim/fault_plan.h"
#include "sim/instrument.h"
#include "sim/screens.h"

namespace upd::sim {

/// What becomes of the commands that a manifest names.
enum class CommandMode { kRecord, kRun };

/// Maps every path under the instrument's directory, mounts by linking the
/// medium at DIR/mnt, runs the instrument's programs as the stubs in DIR, records
/// or runs manifest commands, and writes every event to the timeline. Sleep is
/// simulated time; the technician pulls the stick when asked to. The calls that
/// `faults` names fail as it says, and a power cut ends the process with SIGKILL
/// after putting back what the files held at their last fsync or sync.
class SimPlatform final : public platform::Platform {
 public:
  SimPlatform(Instrument instrument, CommandMode mode, FaultPlan faults = {});

  [[nodiscard]] std::string Resolve(std::string_view path) const override;
  [[nodiscard]] int Mount(const char* source, const char* target, const char* fstype,
                          unsigned long flags) override;
  [[nodiscard]] int Unmount(const char* target) override;
  int RunCommand(platform::CommandKind kind, const char* command) override;
  void Sync() override;
  [[nodiscard]] int SyncFile(std::FILE* stream) override;
  void Sleep(unsigned seconds) override;
  [[nodiscard]] std::FILE* OpenStream(std::string_view path, const std::string& hostPath,
                                      const char* mode) override;
  [[nodiscard]] int BeforeChange(platform::FileCall call, std::string_view path) override;

  /// Draws every message shown on the display with `screens` from now on
  /// (nullptr: none). The caller keeps it alive while it is in use.
  void DrawScreens(ScreenRenderer* screens) { screens_ = screens; }

  /// Simulated seconds after which every run ends, whatever the display shows.
  static constexpr unsigned kTimeLimit = 3600;

 private:
  int RunInstrumentProgram(const char* command);
  int RunManifestCommand(const char* command);
  /// Counts one change to the instrument's files; the power fails before the
  /// one that the plan names.
  void Change();

  Instrument instrument_;
  CommandMode mode_;
  std::uint64_t slept_ = 0;
  FaultPlan faults_;
  unsigned long changes_ = 0;
  DurabilityTracker durability_;
  /// The descriptor under each stream wrapped for a fault, which has none of its
  /// own. Entries outlive their streams; a new wrapped stream replaces its entry.
  std::unordered_map<std::FILE*, int> wrappedFds_;
  ScreenRenderer* screens_ = nullptr;
};

/// Waits until every process that the run started, in the background too, has
/// ended (update-sim adopts them as their subreaper).
void ReapDescendants();

}  // namespace upd::sim
