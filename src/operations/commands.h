// What the operations that run the manifest's commands share: running one
// and judging its wait status.
#pragma once

namespace upd {

/// Runs a command that a manifest names; its wait status, -1 when no shell ran.
[[nodiscard]] int RunManifestCommand(const char* command);

/// true when a command's wait status says it did not run to a clean exit 0: no
/// shell, a non-zero exit status, or death by a signal.
[[nodiscard]] bool CommandFailed(int waitStatus);

/// Path values of the operations that run commands or remove files: at most
/// 513 characters.
inline constexpr int kPathValueSize = 514;

}  // namespace upd
