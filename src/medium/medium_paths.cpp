#include "medium/medium_paths.h"

#include <filesystem>

#include "driver/instrument_paths.h"

namespace upd::medium {

std::string ManifestFile(const std::string& medium) {
  return *OnMedium(medium, kManifestPath);
}

std::string SignatureFile(const std::string& medium) {
  return *OnMedium(medium, kSignaturePath);
}

std::optional<std::string> OnMedium(const std::string& medium, std::string_view path) {
  // Text only: nothing on the host is looked at here.
  const std::string normal = std::filesystem::path(path).lexically_normal().string();
  const std::string mount = std::string(kMountPoint) + "/";
  if (normal.compare(0, mount.size(), mount) != 0 || normal.size() == mount.size()) {
    return std::nullopt;
  }
  return medium + "/" + normal.substr(mount.size());
}

}  // namespace upd::medium
