// The operations a manifest step can name in its "Operation" entry. The runner
// dispatches on this table, and the medium checker judges names by it.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "driver/error_codes.h"
#include "manifest/key_rules.h"

namespace upd {

enum class OperationKind {
  kTransferFile,
  kConfigUpdate,
  kMsp430Update,
  kFlashUpdate,
  kReboot,
  kRemoveFiles,
  kBackupFiles,
};

struct OperationName {
  std::string_view name;
  OperationKind kind;
};

/// The names, compared exactly and case-sensitively in this order.
inline constexpr std::array<OperationName, 7> kOperationNames = {{
    {"TransferFile", OperationKind::kTransferFile},
    {"ConfigUpdate", OperationKind::kConfigUpdate},
    {"MSP430Update", OperationKind::kMsp430Update},
    {"FlashUpdate", OperationKind::kFlashUpdate},
    {"Reboot", OperationKind::kReboot},
    {"RemoveFiles", OperationKind::kRemoveFiles},
    {"BackupFiles", OperationKind::kBackupFiles},
}};

/// A step's "Operation" entry: a value of 64 characters or more aborts the run
/// with 606; a step without it is passed over.
inline constexpr KeyRule kOperationRule = {"Operation", 64, kErrOperationTooLong, 0, false};

/// The operation that `name` selects, or nothing: any other name, one that
/// differs only in letter case included, is passed over without a message.
[[nodiscard]] constexpr std::optional<OperationKind> FindOperation(std::string_view name) {
  for (const OperationName& op : kOperationNames) {
    if (op.name == name) return op.kind;
  }
  return std::nullopt;
}

}  // namespace upd
