// The operations that the sequence runner performs itself. Each returns 0 when
// the section is done and the run goes on, or the error code to stop the run with.
#pragma once

namespace upd {

/// "MSP430Update": runs "CommandJTAG" (its failure stops the run with 667), then
/// "Command1", and "Command2" up to twice while the previous command failed. A
/// value of 128 characters or more, or a missing entry, stops the run with that
/// entry's code (666, 646, 647) before anything runs. Failures of "Command1" and
/// "Command2" are not reported.
[[nodiscard]] int RunMsp430Update(const char* section);

/// "FlashUpdate": needs "Device", "Offset", "EraseCommand", "WriteCommand" and
/// "DataPath1" (634, 637, 635, 639, 632 for the first one missing; 636 for a
/// value too long), then runs "<WriteCommand> <DataPath1> <Device>" and ignores
/// its result.
[[nodiscard]] int RunFlashUpdate(const char* section);

/// "RemoveFiles": removes the existing files named by file1, file2, ... up to the
/// first missing number. A value of 514 characters or more stops at once with
/// 656; files that cannot be removed are reported with 657 after the whole list.
[[nodiscard]] int RunRemoveFiles(const char* section);

/// true when a command's wait status says it did not run to a clean exit 0: no
/// shell, a non-zero exit status, or death by a signal.
[[nodiscard]] bool CommandFailed(int waitStatus);

}  // namespace upd
