// The check of one step of the sequence; internal to update-medium's check.
#pragma once

#include <string>
#include <unordered_set>

#include "common/update_info.h"
#include "medium/check.h"
#include "medium/findings.h"

namespace upd::medium {

/// What the check carries from step to step, as a run would.
struct StepContext {
  const CheckOptions& options;
  Findings& findings;
  UpdateInfo info;      // -t, -f and the timestamp bits as the run would have them
  bool reboot = false;  // a "Reboot" step has been met
  /// Entries of the medium folder that the stick cannot hold and that an
  /// error of a step has named already.
  std::unordered_set<std::string> named{};
};

/// What a step would do.
struct StepPlan {
  std::string operation;  // its "Operation" value, "" when none
  std::string action;     // e.g. "install /mnt/a as /home/b ..."
};

/// Checks step `section`, listed on line `listedAt` of the list section (0:
/// none), as the instrument would run it: adds what it would refuse or pass
/// over to ctx.findings and returns what it would do.
[[nodiscard]] StepPlan CheckStep(StepContext& ctx, const char* section, int listedAt);

}  // namespace upd::medium
