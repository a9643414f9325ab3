// src/medium: update-medium, the release engineer's checker and digest filler,
// over the updater's own rules.
//
// update-medium: the release engineer's tools for an update medium.
#pragma once

namespace upd::medium {

/// Exit statuses: 0 nothing wrong, 1 the medium has errors (or could not be
/// changed), 2 bad use.
inline constexpr int kExitBadUse = 2;

/// The update-medium command line: check, digests, explain.
int MediumMain(int argc, char** argv);

}  // namespace upd::medium
