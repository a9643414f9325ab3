// Where the instrument's paths lie in a medium folder on the release
// engineer's machine: the instrument mounts the stick at /mnt.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace upd::medium {

/// MEDIUM/firmware/AuxInfo.txt and its signature.
[[nodiscard]] std::string ManifestFile(const std::string& medium);
[[nodiscard]] std::string SignatureFile(const std::string& medium);

/// The file in folder `medium` that instrument path `path` names once the stick
/// is mounted, or nothing for a path that does not lie on the medium. The path
/// is taken as the instrument would resolve it: "." and ".." on the text.
/// Example: ("stick", "/mnt/firmware/app") -> "stick/firmware/app";
/// "/mnt/../etc/x" and "firmware/app" -> nothing.
[[nodiscard]] std::optional<std::string> OnMedium(const std::string& medium, std::string_view path);

}  // namespace upd::medium
