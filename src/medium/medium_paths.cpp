#include "medium/medium_paths.h"

#include <cerrno>
#include <filesystem>
#include <utility>

#include "common/instrument_paths.h"

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

std::optional<MediumFile> LookAtMedium(const std::string& medium, std::string_view path) {
  auto host = OnMedium(medium, path);
  if (!host) return std::nullopt;
  MediumFile file{MediumState::kMissing, std::move(*host), "", EntryKind::kNone};
  // Component by component: lstat() of the whole path would follow a link in
  // a folder on the way, which the stick cannot hold either.
  std::size_t end = medium.size();
  while (end < file.host.size()) {
    end = file.host.find('/', end + 1);
    if (end == std::string::npos) end = file.host.size();
    const std::string prefix = file.host.substr(0, end);
    const EntryKind kind = EntryKindOf(prefix.c_str());
    const bool last = end == file.host.size();
    switch (kind) {
      case EntryKind::kNone:
        return file;
      case EntryKind::kFolder:
        if (last) file.state = MediumState::kFolder;
        break;
      case EntryKind::kFile:
        if (last) file.state = MediumState::kFile;
        if (!last) return file;  // a file where a folder should be: nothing there
        break;
      case EntryKind::kLink:
      case EntryKind::kFifo:
      case EntryKind::kDevice:
      case EntryKind::kSocket:
        file.state = MediumState::kUnreadable;
        file.odd = prefix;
        file.oddKind = kind;
        return file;
    }
  }
  return file;
}

MediumView::MediumView(std::string medium)
    : ForwardingPlatform(platform::Current()), medium_(std::move(medium)) {}

platform::HostPath MediumView::Resolve(std::string_view path, platform::Follow /*last*/) const {
  auto host = OnMedium(medium_, path);
  if (!host) return platform::HostPath::Unreachable(ENOENT);
  platform::HostPath where = platform::HostPath::Plain(std::move(*host));
  where.noFollow = true;
  return where;
}

const char* EntryKindText(EntryKind kind) {
  switch (kind) {
    case EntryKind::kLink:
      return "a symbolic link";
    case EntryKind::kFifo:
      return "a FIFO";
    case EntryKind::kDevice:
      return "a device node";
    case EntryKind::kSocket:
      return "a socket";
    case EntryKind::kFolder:
      return "a folder";
    case EntryKind::kFile:
      return "a file";
    case EntryKind::kNone:
      break;
  }
  return "nothing";
}

std::string NotAFileText(const MediumFile& file) {
  switch (file.state) {
    case MediumState::kMissing:
      return " is not on the medium (" + file.host + " is missing)";
    case MediumState::kFolder:
      return " is a folder on the medium (" + file.host + ")";
    case MediumState::kUnreadable:
      return " cannot be read: " + file.odd + " is " + EntryKindText(file.oddKind) +
             ", which a vfat stick cannot hold";
    case MediumState::kFile:
      break;
  }
  return {};
}

}  // namespace upd::medium
