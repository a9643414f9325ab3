// The update sequence runner: everything after the medium is mounted.
#pragma once

#include "common/update_info.h"

namespace upd {

/// Runs the update from the mounted medium and ends the run. Returns the exit
/// status of the process.
int RunUpdate(UpdateInfo* info);

}  // namespace upd
