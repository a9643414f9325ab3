// The operations that the sequence runner performs itself. Each returns 0 when
// the section is done and the run goes on, a code that the runner reports while
// the run goes on (640, 641: see ReportedCodeGoesOn), or the error code to stop
// the run with.
#pragma once

#include <array>
#include <cstddef>

#include "driver/error_codes.h"
#include "manifest/key_rules.h"

namespace upd {

/// "MSP430Update" keys, looked up in this order; a value too long or a missing
/// entry stops at once with the key's own code.
inline constexpr std::array<KeyRule, 3> kMsp430Keys = {{
    {"CommandJTAG", 128, kErrMspJtagValue, kErrMspJtagValue, false},
    {"Command1", 128, kErrMspCommand1, kErrMspCommand1, false},
    {"Command2", 128, kErrMspCommand2, kErrMspCommand2, false},
}};

/// "FlashUpdate" keys, looked up in this order (a value too long stops at once
/// with 636); then the first one missing, in the same order, stops the run.
inline constexpr std::array<KeyRule, 5> kFlashKeys = {{
    {"Device", 64, kErrFlashValue, kErrFlashNoDevice, false},
    {"Offset", 32, kErrFlashValue, kErrFlashNoOffset, false},
    {"EraseCommand", 128, kErrFlashValue, kErrFlashNoErase, false},
    {"WriteCommand", 128, kErrFlashValue, kErrFlashNoWrite, false},
    {"DataPath1", 514, kErrFlashValue, kErrFlashNoDataPath, false},
}};
enum FlashKey : std::size_t {
  kFlashDevice,
  kFlashOffset,
  kFlashErase,
  kFlashWrite,
  kFlashDataPath
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
/// value of 128 characters or more, or a missing entry, stops the run with that
/// entry's code (666, 646, 647) before anything runs. A failed "Command1" alone
/// is silent, since "Command2" is its fallback; 641 when "Command1" and both runs
/// of "Command2" failed.
[[nodiscard]] int RunMsp430Update(const char* section);

/// "FlashUpdate": needs "Device", "Offset", "EraseCommand", "WriteCommand" and
/// "DataPath1" (634, 637, 635, 639, 632 for the first one missing; 636 for a
/// value too long), then runs "<WriteCommand> <DataPath1> <Device>": 640 when
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
