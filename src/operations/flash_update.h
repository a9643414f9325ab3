// "FlashUpdate": writes a data file into a flash device with the command that
// the manifest names.
#pragma once

#include <array>
#include <cstddef>

#include "common/error_codes.h"
#include "integrity/digest_check.h"
#include "manifest/key_rules.h"

namespace upd {

struct UpdateInfo;

/// "FlashUpdate" keys, looked up in this order (a value too long stops at once
/// with 636); then the first one missing, in the same order, stops the run.
/// "MD5Hash" and "SHA256Hash", the digests of "DataPath1", may be absent.
inline constexpr std::array<KeyRule, 7> kFlashKeys = {{
    {"Device", 64, kErrFlashValue, kErrFlashNoDevice, false},
    {"Offset", 32, kErrFlashValue, kErrFlashNoOffset, false},
    {"EraseCommand", 128, kErrFlashValue, kErrFlashNoErase, false},
    {"WriteCommand", 128, kErrFlashValue, kErrFlashNoWrite, false},
    {"DataPath1", 514, kErrFlashValue, kErrFlashNoDataPath, false},
    {"MD5Hash", kDigestValueSize, kErrFlashValue, 0, false},
    {"SHA256Hash", kDigestValueSize, kErrFlashValue, 0, false},
}};
enum FlashKey : std::size_t {
  kFlashDevice,
  kFlashOffset,
  kFlashErase,
  kFlashWrite,
  kFlashDataPath,
  kFlashMd5Hash,
  kFlashSha256Hash
};

/// "<WriteCommand> <DataPath1> <Device>" at their longest, with the NUL.
inline constexpr std::size_t kFlashCommandSize = 127 + 1 + 513 + 1 + 63 + 1;

/// The command "FlashUpdate" runs: "<write> <dataPath> <device>", cut to the
/// buffer (values within the keys' limits always fit).
void ComposeFlashCommand(char (&command)[kFlashCommandSize], const char* write,
                         const char* dataPath, const char* device);

/// "FlashUpdate": needs "Device", "Offset", "EraseCommand", "WriteCommand" and
/// "DataPath1" (634, 637, 635, 639, 632 for the first one missing; 636 for a
/// value too long). With an "MD5Hash" or "SHA256Hash" entry, the "DataPath1"
/// file must match it (644 when it does not or cannot be read, before any
/// command runs). Then runs "<WriteCommand> <DataPath1> <Device>": 640 when
/// that command failed.
/// Returns 1 when the step is done, leaving info->error as it was; otherwise 0
/// with the code in info->error.
[[nodiscard]] int FlashUpdate(const char* section, UpdateInfo* info);

}  // namespace upd
