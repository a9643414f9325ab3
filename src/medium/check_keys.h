// Reading a step's keys for the medium check: every value that does not fit,
// bad switch and missing key, reported with the line it concerns.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "manifest/key_rules.h"
#include "medium/check_steps.h"

namespace upd::medium {

/// Line of the header of `section` (the one lookups search); 0 when none.
[[nodiscard]] int SectionLine(const char* section);

/// Line of the entry `key` that lookups find, else the section's line.
[[nodiscard]] int EntryLine(const char* section, const char* key);

/// The order in which an operation reports what is wrong with its keys.
enum class KeyOrder {
  kValuesFirst,  // every lookup first (a value that does not fit stops at once), then presence
  kInTurn,       // each key in turn: too long or missing stops at once
};

/// Reads `rules` of `section` through LookUpKey as the operation does. Reports
/// every problem in the order the operation meets them, so the first one
/// reported is the code the instrument stops with. Returns the values, ""
/// for an absent key, or nothing when a problem was reported.
[[nodiscard]] std::optional<std::vector<std::string>> ReadKeys(StepContext& ctx,
                                                               const char* section,
                                                               std::span<const KeyRule> rules,
                                                               KeyOrder order);

/// The check of "TransferFile" and "ConfigUpdate" steps, whose files may lie
/// on the medium (check_files.cpp).
[[nodiscard]] std::string CheckTransfer(StepContext& ctx, const char* section);
[[nodiscard]] std::string CheckConfigUpdate(StepContext& ctx, const char* section);

}  // namespace upd::medium
