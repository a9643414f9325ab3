#include "diag/startup_hooks.h"

#include <cstdio>

#include "common/update_info.h"
#include "diag/dpr.h"
#include "diag/thread_names.h"

namespace upd {

void DprHookThreadName() {
  // A full table cannot happen this early; the name is only decoration anyway.
  (void)SetThreadName("MAIN");
}

void DprHookTimeStamps() {
  dpr_config(1, DPR_TIME);
}

void DprHookDebugOptions(std::uint32_t updFlags) {
  if ((updFlags & UPD_MSG_ALL) != 0) {
    std::fputs("calling dpr_config to enable MESG\n", stderr);
    dpr_config(1, DPR_MESG);
  }
  if ((updFlags & UPD_MSG) != 0) dpr_config(1, DPR_LEVEL4 | DPR_FILTER);
}

}  // namespace upd
