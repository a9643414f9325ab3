// The simulated instrument's display as pictures: every message the splash
// program shows, drawn by ImageMagick's convert as the instrument's 480 by 272
// screen, numbered in order under DIR/sim/screens/ (001.png, 002.png, ...).
//
// The background is the splash image the updater names to the splash program,
// /home/Corvenal/bin/CorvenalSplash.png, that is DIR/home/Corvenal/bin/
// CorvenalSplash.png, scaled to the screen; black when the instrument has none.
// The text is what the splash program received, centred and wrapped, white on a
// dark band. Drawing records nothing on the timeline.
#pragma once

#include <string>
#include <string_view>

namespace upd::sim {

class Instrument;

inline constexpr int kScreenWidth = 480;
inline constexpr int kScreenHeight = 272;

class ScreenRenderer {
 public:
  /// "" when convert can be run here, else the reason it cannot.
  static std::string Unavailable();

  explicit ScreenRenderer(const Instrument& instrument);

  /// Empties DIR/sim/screens for a new run; "" or the reason it could not.
  [[nodiscard]] std::string Start();

  /// Draws `text` as the next screen; false (and a line on standard error)
  /// when convert failed.
  bool Render(std::string_view text);

 private:
  std::string root_;
  int next_ = 1;
};

/// `text` as convert's caption: backslashes doubled, '%' doubled and a leading
/// '@' escaped, so it is drawn as it is and never names a file or a property.
/// Example: "100% @x" -> "100%% @x"; "@etc" -> "\@etc".
[[nodiscard]] std::string CaptionText(std::string_view text);

}  // namespace upd::sim
