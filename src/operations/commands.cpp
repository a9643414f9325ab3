#include "operations/commands.h"

#include <sys/wait.h>

#include "platform/platform.h"

namespace upd {

int RunManifestCommand(const char* command) {
  return platform::Current().RunCommand(platform::CommandKind::kManifest, command);
}

bool CommandFailed(int waitStatus) {
  return waitStatus == -1 || !WIFEXITED(waitStatus) || WEXITSTATUS(waitStatus) != 0;
}

}  // namespace upd
