#include "driver/inline_ops.h"

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>

#include "driver/error_codes.h"
#include "fileutil/fileops.h"
#include "manifest/store.h"
#include "platform/platform.h"

namespace upd {

namespace {

constexpr int kCommandValueSize = 128;
constexpr int kDeviceValueSize = 64;
constexpr int kOffsetValueSize = 32;
constexpr int kPathValueSize = 514;
constexpr int kEntryNameSize = 128;

// "<WriteCommand> <DataPath1> <Device>" at their longest, with the NUL.
constexpr std::size_t kFlashCommandSize =
    (kCommandValueSize - 1) + 1 + (kPathValueSize - 1) + 1 + (kDeviceValueSize - 1) + 1;

int RunManifestCommand(const char* command) {
  return platform::Current().RunCommand(platform::CommandKind::kManifest, command);
}

// Looks up a command that must be there; false when it is too long or missing.
// A missing command is never run as an empty or stale one.
bool LookUpCommand(const char* section, const char* key, char (&value)[kCommandValueSize]) {
  bool found = false;
  return GetAuxInfo(section, key, value, kCommandValueSize, &found) != 0 && found;
}

constexpr std::uint32_t kDataPathBit = 0x01;
constexpr std::uint32_t kDeviceBit = 0x04;
constexpr std::uint32_t kEraseBit = 0x08;
constexpr std::uint32_t kOffsetBit = 0x10;
constexpr std::uint32_t kWriteBit = 0x40;

struct RequiredBit {
  std::uint32_t bit;
  int code;
};

// The order in which missing entries are reported.
constexpr RequiredBit kFlashRequired[] = {
    {kDeviceBit, kErrFlashNoDevice},     {kOffsetBit, kErrFlashNoOffset},
    {kEraseBit, kErrFlashNoErase},       {kWriteBit, kErrFlashNoWrite},
    {kDataPathBit, kErrFlashNoDataPath},
};

}  // namespace

bool CommandFailed(int waitStatus) {
  return waitStatus == -1 || !WIFEXITED(waitStatus) || WEXITSTATUS(waitStatus) != 0;
}

int RunMsp430Update(const char* section) {
  char jtag[kCommandValueSize] = {};
  char command1[kCommandValueSize] = {};
  char command2[kCommandValueSize] = {};
  if (!LookUpCommand(section, "CommandJTAG", jtag)) return kErrMspJtagValue;
  if (!LookUpCommand(section, "Command1", command1)) return kErrMspCommand1;
  if (!LookUpCommand(section, "Command2", command2)) return kErrMspCommand2;

  if (CommandFailed(RunManifestCommand(jtag))) return kErrMspJtagFailed;
  if (!CommandFailed(RunManifestCommand(command1))) return 0;
  if (!CommandFailed(RunManifestCommand(command2))) return 0;
  // One more try; the outcome is not reported either way.
  (void)RunManifestCommand(command2);
  return 0;
}

int RunFlashUpdate(const char* section) {
  char device[kDeviceValueSize] = {};
  char offset[kOffsetValueSize] = {};
  char erase[kCommandValueSize] = {};
  char write[kCommandValueSize] = {};
  char dataPath[kPathValueSize] = {};
  struct Lookup {
    const char* key;
    char* value;
    int size;
    std::uint32_t bit;
  };
  const Lookup lookups[] = {
      {"Device", device, kDeviceValueSize, kDeviceBit},
      {"Offset", offset, kOffsetValueSize, kOffsetBit},
      {"EraseCommand", erase, kCommandValueSize, kEraseBit},
      {"WriteCommand", write, kCommandValueSize, kWriteBit},
      {"DataPath1", dataPath, kPathValueSize, kDataPathBit},
  };

  std::uint32_t present = 0;
  for (const Lookup& lookup : lookups) {
    bool found = false;
    if (GetAuxInfo(section, lookup.key, lookup.value, lookup.size, &found) == 0) {
      return kErrFlashValue;
    }
    if (found) present |= lookup.bit;
  }
  for (const RequiredBit& required : kFlashRequired) {
    if ((present & required.bit) == 0) return required.code;
  }

  char command[kFlashCommandSize] = {};
  std::snprintf(command, sizeof command, "%s %s %s", write, dataPath, device);
  // The flashing tool reports its own trouble; the run goes on regardless.
  (void)RunManifestCommand(command);
  return 0;
}

int RunRemoveFiles(const char* section) {
  bool removalFailed = false;
  for (int n = 1;; ++n) {
    char key[kEntryNameSize] = {};
    std::snprintf(key, sizeof key, "file%d", n);
    char path[kPathValueSize] = {};
    bool found = false;
    if (GetAuxInfo(section, key, path, kPathValueSize, &found) == 0) return kErrRemoveValue;
    if (!found) break;
    if (exists(path) != 0 && RemoveFile(path) == 0) removalFailed = true;
  }
  return removalFailed ? kErrRemoveFailed : 0;
}

}  // namespace upd
