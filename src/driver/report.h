// Error reporting and the end of a run: the error log, the display, unmounting,
// waiting for the stick to be pulled and restarting the main application.
#pragma once

#include "common/update_info.h"

namespace upd {

inline constexpr int kMessageSize = 120;  // messages composed for the display
inline constexpr int kCommandSize = 512;  // shell commands composed here

/// Reports `code` and, with `abort`, ends the run in order. Always returns 1,
/// which the caller returns from main at once.
///   - makes sure "/home/Corvenal/download" exists (every call, code 0 too);
///   - code != 0: rewrites the error log as "1902 <code>\n" (silently skipped when
///     it cannot be opened) and shows "Error updating firmware: <code>";
///   - abort: releases the store (when AuxInfo) and info->sections, unmounts (when
///     Mounted) and restarts the main application.
int Error(int code, bool abort, UpdateInfo* info);

/// Shows `text` on the display through the splash program and waits for it.
/// Returns the shell's wait status; callers ignore it. Text beyond what fits the
/// 512-byte command is cut off.
int ShowMessage(const char* text);

/// Unmounts "/mnt". true on success (Mounted cleared); on failure stores 661 in
/// info->error and leaves Mounted as it was.
bool UnMount(UpdateInfo* info);

/// Shows "Please remove USB device." and polls info->device once a second, the
/// first test after the first second, until it is gone. Returns 0.
int WaitForUsbUnplug(UpdateInfo* info);

/// Starts the main application in the background, first restoring it from its
/// backup when only the backup exists. Returns the shell's wait status, or 0 when
/// there is no application to start.
int RestartMain();

}  // namespace upd
