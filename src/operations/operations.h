// src/operations: the seven things a manifest step can do. Each operation reads
// its section through its key table, acts, and returns 1, or 0 with its code in
// the run record; the table below is how the runner finds and follows them.
#pragma once

#include <array>
#include <string_view>

#include "common/error_codes.h"
#include "manifest/key_rules.h"
#include "operations/backup.h"
#include "operations/config_update.h"
#include "operations/flash_update.h"
#include "operations/msp430_update.h"
#include "operations/remove_files.h"
#include "operations/transfer.h"

namespace upd {

struct UpdateInfo;

/// "Reboot": does nothing now; the run ends with a reboot (the table's row says so).
[[nodiscard]] int Reboot(const char* section, UpdateInfo* info);

enum class OperationKind {
  kTransferFile,
  kConfigUpdate,
  kMsp430Update,
  kFlashUpdate,
  kReboot,
  kRemoveFiles,
  kBackupFiles,
};

/// One operation and what the runner does after it.
struct Operation {
  std::string_view name;
  OperationKind kind;
  int (*run)(const char* section, UpdateInfo* info);
  /// A failure with this code is shown and logged while the run goes on (a
  /// failed flashing command); 0: every failure stops the run.
  int reportedCode;
  /// After success, a build that the timestamps skipped (UPD_TIMESTAMP_SAME,
  /// UPD_TIMESTAMP_OLDER in the run's flags) is shown and logged (660, 659).
  bool reportsSkippedBuild;
  /// The run ends with a reboot instead of a restart of the main application.
  bool reboots;
};

/// The operations, compared exactly and case-sensitively in this order.
inline constexpr std::array<Operation, 7> kOperations = {{
    {"TransferFile", OperationKind::kTransferFile, TransferFile, 0, true, false},
    {"ConfigUpdate", OperationKind::kConfigUpdate, ConfigUpdate, 0, false, false},
    {"MSP430Update", OperationKind::kMsp430Update, MSP430Update, kErrMspCommands, false, false},
    {"FlashUpdate", OperationKind::kFlashUpdate, FlashUpdate, kErrFlashCommand, false, false},
    {"Reboot", OperationKind::kReboot, Reboot, 0, false, true},
    {"RemoveFiles", OperationKind::kRemoveFiles, RemoveFiles, 0, false, false},
    {"BackupFiles", OperationKind::kBackupFiles, BackupFiles, 0, false, false},
}};

/// A step's "Operation" entry: a value of 64 characters or more aborts the run
/// with 606; a step without it is passed over.
inline constexpr KeyRule kOperationRule = {"Operation", 64, kErrOperationTooLong, 0, false};

/// The operation that `name` selects, or nullptr: any other name, one that
/// differs only in letter case included, is passed over without a message.
[[nodiscard]] constexpr const Operation* FindOperation(std::string_view name) {
  for (const Operation& op : kOperations) {
    if (op.name == name) return &op;
  }
  return nullptr;
}

}  // namespace upd
