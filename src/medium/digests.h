// update-medium digests: the MD5 and SHA-256 of every file on the medium that
// a step installs, merges, flashes or programs, written into the manifest.
#pragma once

#include <cstdio>
#include <string>

namespace upd::medium {

/// For each section that lookups reach and whose file lies on the medium in
/// folder `medium` (a "TransferFile" source, a "ConfigUpdate" template, a
/// "FlashUpdate" or "MSP430Update" DataPath1), writes the file's digests into the
/// values of its "MD5Hash" and "SHA256Hash" entries, changing no other byte of
/// MEDIUM/firmware/AuxInfo.txt: comments, order, spacing and line ends (LF or
/// CR LF) stay. A missing entry is added as a line of its own after the
/// section's last entry, in that entry's indentation, spacing and line end.
/// The new manifest is written beside the old one and renamed over it.
///
/// Writes nothing, and returns 1, when the manifest cannot be read, a section's
/// keys are refused by the operation, such a file on the medium is missing or
/// unreadable, or a digest value cannot be found on its line as the reader
/// reads it (a tab or carriage return inside it). Otherwise returns 0, having
/// told `out` what changed and that the manifest must be signed again (or
/// that nothing needed to change).
[[nodiscard]] int WriteDigests(const std::string& medium, std::FILE* out);

}  // namespace upd::medium
