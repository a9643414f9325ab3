// The simulated instrument's side of the platform seam.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "platform/platform.h"
#include "sim/confined.h"
#include "sim/durability.h"
#include "sim/fault_plan.h"
#include "sim/instrument.h"
#include "sim/screens.h"

namespace upd::sim {

/// What becomes of the commands that a manifest names.
enum class CommandMode { kRecord, kRun };

/// Resolves every path inside the instrument's directory, and /mnt/... inside
/// the mounted medium, as the instrument would inside its own root: links are
/// followed there and nothing outside is ever reached. The medium is a vfat file
/// system of its own: it holds no links (they are never followed), a file on it
/// that is no regular file cannot be opened, and nothing is renamed or linked
/// between it and the instrument's files (EXDEV). Runs the instrument's programs
/// as the stubs in DIR, records or runs manifest commands, and writes every
/// event to the timeline. Sleep is simulated time; the technician pulls the
/// stick when asked to. The calls that `faults` names fail as it says, and a
/// power cut ends the process with SIGKILL
/// after putting back what the files held at their last fsync or sync.
class SimPlatform final : public platform::Platform {
 public:
  SimPlatform(Instrument instrument, CommandMode mode, FaultPlan faults = {});

  [[nodiscard]] platform::HostPath Resolve(std::string_view path,
                                           platform::Follow last) const override;
  [[nodiscard]] int Mount(const char* source, const char* target, const char* fstype,
                          unsigned long flags) override;
  [[nodiscard]] int Unmount(const char* target) override;
  int RunCommand(platform::CommandKind kind, const char* command) override;
  void Sync() override;
  [[nodiscard]] int SyncFile(std::FILE* stream) override;
  void Sleep(unsigned seconds) override;
  [[nodiscard]] int DescriptorOf(std::FILE* stream) const override;
  [[nodiscard]] std::FILE* OpenStream(std::string_view path, const platform::HostPath& where,
                                      const char* mode) override;
  [[nodiscard]] int BeforeChange(platform::FileCall call, std::string_view path,
                                 std::string_view other) override;

  /// Draws every message shown on the display with `screens` from now on
  /// (nullptr: none). The caller keeps it alive while it is in use.
  void DrawScreens(ScreenRenderer* screens) { screens_ = screens; }

  /// Simulated seconds after which every run ends, whatever the display shows.
  static constexpr unsigned kTimeLimit = 3600;

 private:
  /// True when instrument path `path` lies on the mounted medium.
  [[nodiscard]] bool OnMedium(std::string_view path) const;
  int RunInstrumentProgram(const char* command);
  int RunManifestCommand(const char* command);
  /// Counts one change to the instrument's files; the power fails before the
  /// one that the plan names.
  void Change();

  Instrument instrument_;
  CommandMode mode_;
  Walk walk_ = DefaultWalk();
  platform::UniqueFd root_;    // the instrument's directory
  platform::UniqueFd medium_;  // the mounted medium's directory, while one is mounted
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
