#include "diag/startup_hooks.h"

namespace upd {

// The debug-print facility is not in this build yet; start-up calls these at the
// points where it will be configured, and nothing else depends on them.
void DprHookThreadName() {}

void DprHookTimeStamps() {}

void DprHookDebugOptions(std::uint32_t /*updFlags*/) {}

}  // namespace upd
