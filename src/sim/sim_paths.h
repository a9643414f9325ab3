// Path mapping of the simulated instrument.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace upd::sim {

/// The host path of instrument path `path` on the instrument kept in `root` (an
/// absolute host directory without a trailing slash). Absolute and relative paths
/// both land under root (the working directory of a run is root); "." and ".."
/// are resolved on the text and ".." never climbs above root; a trailing slash is
/// kept. The empty path stays empty, so it names nothing.
[[nodiscard]] std::string MapPath(std::string_view root, std::string_view path);

/// The part of instrument path `path` below the medium's mount point /mnt,
/// "." and ".." resolved on the text: "" for /mnt itself, "/firmware/app" for
/// "/mnt/./firmware/app", nothing for a path elsewhere ("/mntx", "/mnt/../a").
[[nodiscard]] std::optional<std::string> BelowMountPoint(std::string_view path);

/// `text` quoted for /bin/sh so that it arrives as one word, unchanged.
[[nodiscard]] std::string ShellQuote(std::string_view text);

}  // namespace upd::sim
