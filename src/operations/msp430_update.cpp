#include "operations/msp430_update.h"

#include <array>

#include "common/update_info.h"
#include "operations/commands.h"

namespace upd {

namespace {

constexpr bool FitsPathBuffer(const auto& rules) {
  for (const KeyRule& rule : rules) {
    if (rule.size > kPathValueSize) return false;
  }
  return true;
}
static_assert(FitsPathBuffer(kMsp430Keys));

// The step's code: 0 when it is done.
int Run(const char* section) {
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

}  // namespace

int MSP430Update(const char* section, UpdateInfo* info) {
  return FinishStep(Run(section), info);
}

}  // namespace upd
