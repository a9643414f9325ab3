// Where the instrument's paths lie in a medium folder on the release
// engineer's machine: the instrument mounts the stick at /mnt.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fileutil/entries.h"
#include "platform/forwarding.h"

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

/// How the instrument would find a file on its stick.
enum class MediumState {
  kMissing,     // no such file (or a file where a folder on the way should be)
  kFile,        // a regular file it can read
  kFolder,      // a folder, where a file is wanted
  kUnreadable,  // the file, or a folder on its way, is an entry a vfat stick cannot hold
};

struct MediumFile {
  MediumState state;
  std::string host;  // the file in the medium folder
  std::string odd;   // kUnreadable: the entry the stick cannot hold (host or a folder above it)
  EntryKind oddKind;  // kUnreadable: what that entry is
};

/// Looks at the file in folder `medium` that instrument path `path` names (as
/// OnMedium), one component at a time from the medium folder down, without
/// opening anything or following a link. Nothing for a path not on the medium.
/// Example: with stick/firmware a link to a folder, "/mnt/firmware/app" gives
/// {kUnreadable, "stick/firmware/app", "stick/firmware", kLink}.
[[nodiscard]] std::optional<MediumFile> LookAtMedium(const std::string& medium,
                                                     std::string_view path);

/// The instrument as the release engineer's machine can see it, for the
/// operations' own path rules (which look at files) while it is installed: an
/// instrument path on the medium resolves to the file at the same place in
/// folder `medium`, a last link not followed (the stick holds none); every
/// other path reaches nothing (ENOENT). Paths to the instrument's own files are
/// then told apart by their spelling alone, and the host's files of the same
/// names are never looked at. Every other call goes to the platform in force
/// when it was made.
class MediumView final : public platform::ForwardingPlatform {
 public:
  explicit MediumView(std::string medium);
  [[nodiscard]] platform::HostPath Resolve(std::string_view path,
                                           platform::Follow last) const override;

 private:
  std::string medium_;
};

/// `read()`, run with MediumView(medium) installed.
/// Example: SeenFromMedium(medium, [&] { return ReadConfigPaths(section, &paths); }).
template <typename Read>
auto SeenFromMedium(const std::string& medium, Read read) {
  MediumView view(medium);
  const platform::ScopedPlatform installed(view);
  return read();
}

/// What an entry is called in a message: "a symbolic link", "a FIFO", "a
/// device node", "a socket", "a folder", "a file"; "nothing" for kNone.
[[nodiscard]] const char* EntryKindText(EntryKind kind);

/// Why the instrument would not find `file` a file it can read, to follow the
/// name of what was looked for; "" for kFile.
/// Example: " cannot be read: stick/firmware is a symbolic link, which a vfat
/// stick cannot hold"; " is a folder on the medium (stick/firmware/app)".
[[nodiscard]] std::string NotAFileText(const MediumFile& file);

}  // namespace upd::medium
