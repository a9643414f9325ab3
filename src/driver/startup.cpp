#include "driver/startup.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/error_codes.h"
#include "common/instrument_paths.h"
#include "diag/startup_hooks.h"
#include "driver/build_info.h"
#include "driver/report.h"
#include "driver/runner.h"
#include "fileutil/fileops.h"
#include "manifest/store.h"
#include "platform/platform.h"

namespace upd {

bool Mounted = false;
bool AuxInfo = false;

namespace {

constexpr const char* kUsageLines[] = {
    "Usage: ./update [-d <device>] [-t <timestamp>] [-f] [-m]\n",
    "       where:\n",
    "            -d  -  device name\n",
    "                   <device> ex: /dev/sda1\n",
    "            -t  -  specify build timestamp of current firmware\n",
    "                   <timestamp> format is YYYY-MM-DD HH:MM:SS\n",
    "            -f  -  force override of timestamp check\n",
    "            -s  -  perform SSL check\n",
    "            -h  -  display usage message, then terminate\n",
    "            -m  -  enable MSG macro\n",
};

struct OptionFlag {
  std::string_view name;
  std::uint32_t flag;
};

constexpr OptionFlag kOptionFlags[] = {
    {"-s", UPD_SSL_CHECK}, {"-f", UPD_FORCE},    {"-h", UPD_HELP},
    {"-m", UPD_MSG},       {"-mm", UPD_MSG_ALL},
};

// Copies `value` into a fixed field when it fits; false when it is too long.
template <std::size_t N>
bool CopyOptionValue(std::string_view value, char (&field)[N]) {
  if (value.size() > N - 1) return false;
  std::memcpy(field, value.data(), value.size());
  field[value.size()] = '\0';
  return true;
}

bool MediumPresent(const UpdateInfo& info) {
  bool bound = false;
  for (const char* path : kUsbPresencePaths) {
    if (exists(path) != 0) {
      bound = true;
      break;
    }
  }
  return bound && exists(info.device) != 0;
}

}  // namespace

UpdateInfo NewUpdateInfo() {
  UpdateInfo info{};
  info.timestamp[0] = '\0';
  info.error = 0;
  info.sections = nullptr;
  info.flags = 0;
  return info;
}

void PrintUsage() {
  for (const char* line : kUsageLines) std::fputs(line, stdout);
}

int ReadCommandLine(int argc, char** argv, UpdateInfo* info) {
  enum class Due { kNothing, kDevice, kTimestamp };
  Due due = Due::kNothing;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (due == Due::kDevice) {
      due = Due::kNothing;
      if (!CopyOptionValue(arg, info->device)) return kErrDeviceArg;
      info->flags |= UPD_DEVICE_SET;
      // The device value is also taken as an option below: "-d -f" sets -f too.
    } else if (due == Due::kTimestamp) {
      due = Due::kNothing;
      if (!CopyOptionValue(arg, info->timestamp)) return kErrTimestampArg;
      info->flags |= UPD_TIMESTAMP_SET;
      continue;
    }
    if (arg == "-d") {
      due = Due::kDevice;
    } else if (arg == "-t") {
      due = Due::kTimestamp;
    } else {
      for (const OptionFlag& option : kOptionFlags) {
        if (arg == option.name) info->flags |= option.flag;
      }
    }
  }
  return 0;
}

int UpdateMain(int argc, char** argv) {
  DprHookThreadName();
  std::printf("4271C firmware updater %s (%s)\n", kVersion, kBuildDate);
  DprHookTimeStamps();

  UpdateInfo info = NewUpdateInfo();
  if (const int code = ReadCommandLine(argc, argv, &info); code != 0) {
    info.error = code;
    (void)UnMount(&info);
    return Error(code, false, &info);
  }
  if ((info.flags & UPD_DEVICE_SET) == 0) {
    std::snprintf(info.device, sizeof info.device, "%s", kDefaultDevice);
  }
  if ((info.flags & UPD_HELP) != 0) {
    PrintUsage();
    return Error(0, false, &info);
  }
  DprHookDebugOptions(info.flags);

  platform::Current().Sync();

  if (!MediumPresent(info)) {
    info.error = kErrNoMedium;
    return Error(kErrNoMedium, false, &info);
  }

  const int mountError =
      platform::Current().Mount(info.device, kMountPoint, kMediumFsType, MS_NOEXEC);
  if (mountError != 0 && mountError != EBUSY) {
    info.error = kErrMount;
    return Error(kErrMount, false, &info);
  }
  Mounted = true;  // EBUSY: still mounted from an earlier run, used as it is

  char message[kMessageSize] = {};
  std::snprintf(message, sizeof message, "%s", "Updating firmware...");
  ShowMessage(message);

  const int status = RunUpdate(&info);
  // A stopped run leaves the manifest loaded and the medium mounted for the
  // technician to see; the memory itself goes back with the process.
  FreeAuxInfo();
  AuxInfo = false;
  FreeSectionList(&info.sections);
  return status;
}

}  // namespace upd
