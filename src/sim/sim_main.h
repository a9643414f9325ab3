// src/sim: the simulated instrument (its platform, power cuts and faults, screens)
// and the update-sim front end.
//
// update-sim: a simulated instrument in a directory, and the updater run on it.
#pragma once

namespace upd::sim {

/// Exit statuses of update-sim itself; "run" otherwise returns the updater's own.
inline constexpr int kExitBadUse = 2;
inline constexpr int kExitWaitsForever = 3;

/// The update-sim command line: init, plug, unplug, run.
int SimMain(int argc, char** argv);

}  // namespace upd::sim
