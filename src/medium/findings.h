// What update-medium finds in a medium: one line per finding, in the form
//   AuxInfo.txt:LINE: error CODE: section NAME: what is wrong
//   AuxInfo.txt:LINE: warning: section NAME: what the instrument passes over
// "LINE:" is left out when no line applies, "section NAME: " when no section does.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace upd::medium {

enum class Severity { kError, kWarning };

struct Finding {
  int line;  // 0: none
  Severity severity;
  int code;             // the instrument's error code; 0 for a warning
  std::string section;  // "" when none
  std::string text;
};

/// The finding as one line, without a line end.
/// Example: {25, kError, 651, "App", "source missing"} gives
/// "AuxInfo.txt:25: error 651: section App: source missing".
[[nodiscard]] std::string FormatFinding(const Finding& finding);

/// Findings in the order they were made; an exact repeat (a step listed
/// twice) is kept once.
class Findings {
 public:
  void Error(int line, int code, std::string_view section, std::string text);
  void Warning(int line, std::string_view section, std::string text);

  void Print(std::FILE* out) const;
  [[nodiscard]] int errors() const { return errors_; }
  [[nodiscard]] int warnings() const { return warnings_; }

 private:
  void Add(Finding finding);

  std::vector<Finding> list_;
  int errors_ = 0;
  int warnings_ = 0;
};

}  // namespace upd::medium
