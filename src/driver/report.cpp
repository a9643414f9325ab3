#include "driver/report.h"

#include <cstdio>

#include "common/error_codes.h"
#include "common/instrument_paths.h"
#include "fileutil/fileops.h"
#include "manifest/store.h"
#include "platform/platform.h"

namespace upd {

namespace {

void WriteErrorLog(int code) {
  // The log is a single line that the next report replaces.
  FilePtr log(OpenFile(kErrorLogPath, "w"));
  if (!log) return;
  std::fprintf(log.get(), "%d %d\n", kErrorLogTag, code);
}

}  // namespace

int Error(int code, bool abort, UpdateInfo* info) {
  if (exists(kDownloadDir) == 0) (void)MakeDirectory(kDownloadDir, 0755);

  if (code != 0) {
    WriteErrorLog(code);
    char message[kMessageSize] = {};
    std::snprintf(message, sizeof message, "Error updating firmware: %d", code);
    ShowMessage(message);
  }

  if (abort) {
    if (AuxInfo) FreeAuxInfo();
    FreeSectionList(&info->sections);
    if (Mounted) UnMount(info);
    RestartMain();
  }
  return 1;
}

int ShowMessage(const char* text) {
  char command[kCommandSize] = {};
  std::snprintf(command, sizeof command, "%s %s \"%s\" %s", kSplashProgram, kSplashImage, text,
                kSplashDisplayOption);
  return platform::Current().RunCommand(platform::CommandKind::kInstrument, command);
}

bool UnMount(UpdateInfo* info) {
  if (platform::Current().Unmount(kMountPoint) == 0) {
    Mounted = false;
    return true;
  }
  info->error = kErrUnmount;
  return false;
}

int WaitForUsbUnplug(UpdateInfo* info) {
  char message[kMessageSize] = {};
  std::snprintf(message, sizeof message, "%s", "Please remove USB device.");
  ShowMessage(message);
  do {
    platform::Current().Sleep(1);
  } while (exists(info->device) != 0);
  return 0;
}

int RestartMain() {
  if (exists(kMainApplication) == 0 && exists(kMainApplicationBackup) != 0) {
    (void)Rename(kMainApplicationBackup, kMainApplication);
  }
  if (exists(kMainApplication) == 0) return 0;
  char command[kCommandSize] = {};
  std::snprintf(command, sizeof command, "%s &", kMainApplication);
  return platform::Current().RunCommand(platform::CommandKind::kInstrument, command);
}

}  // namespace upd
