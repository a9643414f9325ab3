// What every code of the updater means to the technician who reads it off the
// instrument's display ("Error updating firmware: 654"): what happened, what
// the instrument is left with and what to do next. One table serves
// `update-medium explain`, the README's code reference and update(8), so the
// three never tell different stories (scripts/gen_docs.sh regenerates the
// documents from it).
//
// Every entry names the constant of common/error_codes.h that carries its
// number; a test holds the table and the header to each other.
#pragma once

#include <span>
#include <string_view>

namespace upd::medium {

/// Where in a run a code arises, in the order a run meets them. The steps of
/// the sequence are grouped by operation; "BackupFiles" shares its codes with
/// "TransferFile".
enum class CodeGroup {
  kStartup,
  kManifest,
  kTransferFile,
  kConfigUpdate,
  kMsp430Update,
  kFlashUpdate,
  kRemoveFiles,
};

/// The heading of a group, e.g. "TransferFile and BackupFiles".
[[nodiscard]] std::string_view GroupTitle(CodeGroup group);

/// What the run does once the code is reported.
enum class RunEffect {
  kStopsEarly,  // before the stick is mounted: nothing to undo, exit status 1
  kStops,       // the stick stays mounted, nothing is restarted, exit status 1
  kEnds,        // the stick is unmounted, the main application restarted, exit status 1
  kGoesOn,      // shown and logged; the run goes on to its usual ending
  kStored,      // never shown or logged
};

/// One sentence on what the run does after a code with this effect.
[[nodiscard]] std::string_view EffectText(RunEffect effect);

/// A word or two for the effect in tables: "stops", "ends the run", ...
[[nodiscard]] std::string_view EffectLabel(RunEffect effect);

/// One code. The texts are plain sentences without markup.
struct CodeEntry {
  int code;
  std::string_view constant;  // its name in common/error_codes.h, e.g. "kErrMoveToBackup"
  CodeGroup group;
  RunEffect effect;
  std::string_view happened;  // what happened
  std::string_view left;      // what the instrument is left with
  std::string_view next;      // what the technician does next
};

/// Every code, grouped as CodeGroup orders the groups and by number within
/// each group.
[[nodiscard]] std::span<const CodeEntry> CodeReference();

/// The entry of `code`, or nullptr when no code has that number.
[[nodiscard]] const CodeEntry* FindCode(int code);

}  // namespace upd::medium
