#include "driver/inline_ops.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "driver/error_codes.h"
#include "fileutil/fileops.h"
#include "manifest/store.h"
#include "platform/platform.h"

namespace upd {

namespace {

constexpr int kPathValueSize = 514;

constexpr bool FitsPathBuffer(const auto& rules) {
  for (const KeyRule& rule : rules) {
    if (rule.size > kPathValueSize) return false;
  }
  return true;
}
static_assert(FitsPathBuffer(kMsp430Keys));

static_assert(kFlashKeys[kFlashWrite].size + kFlashKeys[kFlashDataPath].size +
                  kFlashKeys[kFlashDevice].size ==
              kFlashCommandSize);

int RunManifestCommand(const char* command) {
  return platform::Current().RunCommand(platform::CommandKind::kManifest, command);
}

}  // namespace

bool CommandFailed(int waitStatus) {
  return waitStatus == -1 || !WIFEXITED(waitStatus) || WEXITSTATUS(waitStatus) != 0;
}

void ComposeFlashCommand(char (&command)[kFlashCommandSize], const char* write,
                         const char* dataPath, const char* device) {
  std::snprintf(command, sizeof command, "%s %s %s", write, dataPath, device);
}

void RemoveFilesKey(char (&key)[kRemoveFilesKeySize], int n) {
  std::snprintf(key, sizeof key, "file%d", n);
}

int RunMsp430Update(const char* section) {
  std::array<std::array<char, kPathValueSize>, kMsp430Keys.size()> values{};
  std::array<bool, kMsp430Keys.size()> present{};
  // A missing command is never run as an empty or stale one.
  for (std::size_t i = 0; i < kMsp430Keys.size(); ++i) {
    const KeyState state = LookUpKey(section, kMsp430Keys[i], values[i].data());
    if (state == KeyState::kTooLong) return kMsp430Keys[i].tooLongCode;
    present[i] = state == KeyState::kPresent;
    if (!present[i] && kMsp430Keys[i].missingCode != 0) return kMsp430Keys[i].missingCode;
  }
  const ExpectedDigests digests = {
      present[kMspMd5Hash] ? values[kMspMd5Hash].data() : nullptr,
      present[kMspSha256Hash] ? values[kMspSha256Hash].data() : nullptr};
  // Digests that name no file verify nothing: refused rather than passed.
  if (digests.any() &&
      (!present[kMspDataPath] || !FileMatchesDigests(values[kMspDataPath].data(), digests))) {
    return kErrMspDigest;
  }
  const char* jtag = values[kMspJtag].data();
  const char* command1 = values[kMspCommand1].data();
  const char* command2 = values[kMspCommand2].data();

  if (CommandFailed(RunManifestCommand(jtag))) return kErrMspJtagFailed;
  if (!CommandFailed(RunManifestCommand(command1))) return 0;
  if (!CommandFailed(RunManifestCommand(command2))) return 0;
  // One more try before the failure is reported.
  return CommandFailed(RunManifestCommand(command2)) ? kErrMspCommands : 0;
}

int RunFlashUpdate(const char* section) {
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

int RunRemoveFiles(const char* section) {
  bool removalFailed = false;
  for (int n = 1;; ++n) {
    char key[kRemoveFilesKeySize] = {};
    RemoveFilesKey(key, n);
    char path[kPathValueSize] = {};
    const KeyState state = LookUpKey(section, RemoveFilesRule(key), path);
    if (state == KeyState::kTooLong) return kErrRemoveValue;
    if (state == KeyState::kAbsent) break;
    if (exists(path) != 0 && RemoveFile(path) == 0) removalFailed = true;
  }
  return removalFailed ? kErrRemoveFailed : 0;
}

}  // namespace upd
