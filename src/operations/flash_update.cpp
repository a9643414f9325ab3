#include "operations/flash_update.h"

#include <array>
#include <cstdio>

#include "common/update_info.h"
#include "operations/commands.h"

namespace upd {

namespace {

static_assert(kFlashKeys[kFlashWrite].size + kFlashKeys[kFlashDataPath].size +
                  kFlashKeys[kFlashDevice].size ==
              kFlashCommandSize);

// The step's code: 0 when it is done.
int Run(const char* section) {
  // Buffers of each key's own size, so the command below provably fits.
  char device[kFlashKeys[kFlashDevice].size] = {};
  char offset[kFlashKeys[kFlashOffset].size] = {};
  char erase[kFlashKeys[kFlashErase].size] = {};
  char write[kFlashKeys[kFlashWrite].size] = {};
  char dataPath[kFlashKeys[kFlashDataPath].size] = {};
  char md5[kFlashKeys[kFlashMd5Hash].size] = {};
  char sha256[kFlashKeys[kFlashSha256Hash].size] = {};
  const std::array<char*, kFlashKeys.size()> values = {device,   offset, erase, write,
                                                       dataPath, md5,    sha256};
  std::array<bool, kFlashKeys.size()> present{};
  for (std::size_t i = 0; i < kFlashKeys.size(); ++i) {
    const KeyState state = LookUpKey(section, kFlashKeys[i], values[i]);
    if (state == KeyState::kTooLong) return kFlashKeys[i].tooLongCode;
    present[i] = state == KeyState::kPresent;
  }
  for (std::size_t i = 0; i < kFlashKeys.size(); ++i) {
    if (kFlashKeys[i].missingCode != 0 && !present[i]) return kFlashKeys[i].missingCode;
  }
  if (!FileMatchesDigests(dataPath, {present[kFlashMd5Hash] ? md5 : nullptr,
                                     present[kFlashSha256Hash] ? sha256 : nullptr})) {
    return kErrFlashDigest;
  }

  char command[kFlashCommandSize] = {};
  ComposeFlashCommand(command, write, dataPath, device);
  return CommandFailed(RunManifestCommand(command)) ? kErrFlashCommand : 0;
}

}  // namespace

void ComposeFlashCommand(char (&command)[kFlashCommandSize], const char* write,
                         const char* dataPath, const char* device) {
  std::snprintf(command, sizeof command, "%s %s %s", write, dataPath, device);
}

int FlashUpdate(const char* section, UpdateInfo* info) {
  return FinishStep(Run(section), info);
}

}  // namespace upd
