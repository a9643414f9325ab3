// The operations that the sequence runner performs itself. Each returns 0 when
// the section is done and the run goes on, a code that the runner reports while
// the run goes on (640, 641: see ReportedCodeGoesOn), or the error code to stop
// the run with.
#pragma once

#include <array>
#include <cstddef>

#include "driver/error_codes.h"
#include "integrity/digest_check.h"
#include "manifest/key_rules.h"

namespace upd {

/// "MSP430Update" keys, looked up in this order; a value too long or a missing
/// command stops at once with the key's own code. "DataPath1", the file the
/// commands program, and its digests may be absent; a value of theirs too
/// long stops with 666, like a "CommandJTAG" too long, since nothing may run.
inline constexpr std::array<KeyRule, 6> kMsp430Keys = {{
    {"CommandJTAG", 128, kErrMspJtagValue, kErrMspJtagValue, false},
    {"Command1", 128, kErrMspCommand1, kErrMspCommand1, false},
    {"Command2", 128, kErrMspCommand2, kErrMspCommand2, false},
    {"DataPath1", 514, kErrMspJtagValue, 0, false},
    {"MD5Hash", kDigestValueSize, kErrMspJtagValue, 0, false},
    {"SHA256Hash", kDigestValueSize, kErrMspJtagValue, 0, false},
}};
enum Msp430Key : std::size_t {
  kMspJtag,
  kMspCommand1,
  kMspCommand2,
  kMspDataPath,
  kMspMd5Hash,
  kMspSha256Hash
};

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

/// The rule of "RemoveFiles" entry `name` ("file1", "file2", ...): values of
/// 514 characters or more stop the run with 656.
[[nodiscard]] constexpr KeyRule RemoveFilesRule(const char* name) {
  return {name, 514, kErrRemoveValue, 0, false};
}

/// Room for "file" and any int.
inline constexpr int kRemoveFilesKeySize = 128;

/// The name of "RemoveFiles" entry number n: "file<n>".
void RemoveFilesKey(char (&key)[kRemoveFilesKeySize], int n);

/// "MSP430Update": runs "CommandJTAG" (its failure stops the run with 667), then
/// "Command1", and "Command2" up to twice while the previous command failed. A
/// command of 128 characters or more, or a missing one, stops the run with that
/// entry's code (666, 646, 647) before anything runs; so does a "DataPath1" of
/// 514 characters or more, or a digest of 512 or more (666). With an "MD5Hash"
/// or "SHA256Hash" entry, the file "DataPath1" names must match it before
/// "CommandJTAG" runs: 645 when it does not, cannot be read, or no "DataPath1"
/// names it (nothing could be verified). A failed "Command1" alone is silent,
/// since "Command2" is its fallback; 641 when "Command1" and both runs of
/// "Command2" failed.
[[nodiscard]] int RunMsp430Update(const char* section);

/// "FlashUpdate": needs "Device", "Offset", "EraseCommand", "WriteCommand" and
/// "DataPath1" (634, 637, 635, 639, 632 for the first one missing; 636 for a
/// value too long). With an "MD5Hash" or "SHA256Hash" entry, the "DataPath1"
/// file must match it (644 when it does not or cannot be read, before any
/// command runs). Then runs "<WriteCommand> <DataPath1> <Device>": 640 when
/// that command failed.
[[nodiscard]] int RunFlashUpdate(const char* section);

/// "RemoveFiles": removes the existing files named by file1, file2, ... up to the
/// first missing number. A value of 514 characters or more stops at once with
/// 656; files that cannot be removed are reported with 657 after the whole list.
[[nodiscard]] int RunRemoveFiles(const char* section);

/// true when a command's wait status says it did not run to a clean exit 0: no
/// shell, a non-zero exit status, or death by a signal.
[[nodiscard]] bool CommandFailed(int waitStatus);

/// true for the codes that are shown and logged while the run goes on: a failed
/// flashing command (640, 641) and a build that the timestamps skip (659, 660).
/// Every other code stops the run.
[[nodiscard]] constexpr bool ReportedCodeGoesOn(int code) {
  return code == kErrFlashCommand || code == kErrMspCommands || code == kErrTimeStampOlder ||
         code == kErrTimeStampSame;
}

}  // namespace upd
