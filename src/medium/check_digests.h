// The digest entries of "ConfigUpdate", "FlashUpdate" and "MSP430Update"
// steps, checked against the medium's files as the updater checks them before
// a step uses its file; and, for a signed medium, what under /mnt a step reads
// or hands to a command that no digest covers. Internal to update-medium's check.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>

#include "medium/check_steps.h"

namespace upd::medium {

/// The file a step verifies: how messages name it ("template", "DataPath1"),
/// its instrument path ("" when the section names none) and the line of the
/// entry that names it.
struct DataFile {
  std::string what;
  std::string path;
  int line = 0;
};

/// Whether `section` has an "MD5Hash" or a "SHA256Hash" entry: the step then
/// verifies its file.
[[nodiscard]] bool HasDigests(const char* section);

/// Checks the "MD5Hash" and "SHA256Hash" entries present in `section` against
/// `file`, as the step does before it touches anything: each one that differs
/// is error `code`, with both digests. A file missing or not readable on the
/// medium, or no file named, matches no entry. For a file that is not on the
/// medium only a value that cannot be a digest (not 32 / 64 lower-case
/// hexadecimal digits) is sure to fail. Returns whether any entry is present,
/// i.e. whether the step verifies its file.
bool CheckDataDigests(StepContext& ctx, const char* section, const DataFile& file, int code);

/// For a signed medium (--key) only, warnings about what its signature does
/// not cover through the digests of `section`:
///  - an "MD5Hash" entry without a "SHA256Hash";
///  - `file`, when it lies under /mnt and `covered` is false;
///  - each entry of `commands` whose text names a path under /mnt (a word
///    starting with "/mnt/", "." and ".." taken on the text) other than
///    `file`'s when `covered`.
void WarnUncovered(StepContext& ctx, const char* section, const std::optional<DataFile>& file,
                   bool covered, std::initializer_list<const char*> commands);

}  // namespace upd::medium
