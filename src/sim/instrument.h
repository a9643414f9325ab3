// The simulated instrument's directory: its layout, stubs, stick and timeline.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace upd::sim {

/// The stick plugged into the instrument.
struct Stick {
  int port;            // 1 to 4
  std::string device;  // instrument path of the device node
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

 private:
  explicit Instrument(std::string root) : root_(std::move(root)) {}
  void RemoveStickFiles(const Stick& stick) const;

  std::string root_;
};

}  // namespace upd::sim
