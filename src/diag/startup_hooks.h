// The debug-print facility's hook points in the updater's start-up.
#pragma once

#include <cstdint>

namespace upd {

/// Before the banner: names the running process "MAIN".
void DprHookThreadName();

/// Right after the banner: switches diagnostic time stamps on.
void DprHookTimeStamps();

/// After the command line (help handled): applies -mm and -m from `updFlags`.
void DprHookDebugOptions(std::uint32_t updFlags);

}  // namespace upd
