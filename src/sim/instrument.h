// The simulated instrument's directory: its layout, stubs, stick and timeline.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace upd::sim {

/// What a device node of the simulation holds: it is a record of the plugged
/// stick, not a way to the medium, so nothing on the instrument leads out of
/// its directory.
inline constexpr std::string_view kDeviceNodeText = "4271C simulated USB stick\n";

/// The stub that stands for the instrument's own program at instrument path
/// `program` (splash program, main application, reboot), or "" for any other.
[[nodiscard]] std::string_view StubFor(std::string_view program);

/// The stick plugged into the instrument.
struct Stick {
  int port;            // 1 to 4
  std::string device;  // instrument path of the device node
  std::string medium;  // host directory that holds the stick's files
};

/// A simulated instrument made by Init, addressed by its absolute host directory.
class Instrument {
 public:
  /// Makes a blank instrument in `dir`, which must be missing or empty.
  /// Returns an empty string on success, else the reason it could not.
  static std::string Init(const std::string& dir);

  /// The instrument in `dir`, or nothing when `dir` was not made by Init.
  static std::optional<Instrument> Open(const std::string& dir);

  [[nodiscard]] const std::string& root() const { return root_; }
  /// The host path of an instrument path, by its text ("." and ".." resolved,
  /// never above the root): under the mounted medium for /mnt/..., else under
  /// the instrument's directory. The empty path stays empty.
  [[nodiscard]] std::string Host(std::string_view instrumentPath) const;

  /// Appends one line to the timeline.
  void Record(std::string_view line) const;
  /// The timeline's last line ("" when it is empty).
  [[nodiscard]] std::string LastEvent() const;
  /// The timeline's host path.
  [[nodiscard]] std::string TimelineFile() const;

  /// The plugged stick, if any.
  [[nodiscard]] std::optional<Stick> PluggedStick() const;
  /// Plugs `medium` (a host directory) into `port` with its node at `device`,
  /// replacing any earlier stick. Returns "" or the reason it could not.
  std::string Plug(const std::string& medium, int port, const std::string& device) const;
  /// Pulls the plugged stick (timeline "unplug <device>"); nothing when none is.
  void Unplug() const;

  /// The host directory of the mounted medium, if one is mounted. The mount is
  /// the simulation's own record, so it outlasts the stick and the run.
  [[nodiscard]] std::optional<std::string> MountedMedium() const;
  /// Records `medium` as mounted (false when the record cannot be written), or
  /// with nothing, that no medium is mounted.
  bool RecordMount(const std::optional<std::string>& medium) const;

 private:
  explicit Instrument(std::string root) : root_(std::move(root)) {}
  void RemoveStickFiles(const Stick& stick) const;

  std::string root_;
};

}  // namespace upd::sim
