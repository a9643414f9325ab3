// What update-medium finds in a medium: one line per finding, in the form
//   AuxInfo.txt:LINE: error CODE: section NAME: what is wrong
//   AuxInfo.txt:LINE: warning: section NAME: what the instrument passes over
//   MEDIUM/firmware/x: error: what is wrong with a file no step names
// "LINE:" is left out when no line applies, "section NAME: " when no section
// does, the code when the instrument has none for it.
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

namespace upd::medium {

enum class Severity { kError, kWarning };

struct Finding {
  int line;  // 0: none
  Severity severity;
  int code;             // the instrument's error code; 0 for a warning or none
  std::string section;  // "" when none
  std::string text;
  std::string file = "AuxInfo.txt";  // what `line` counts in
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
  /// An error about the file `path` itself, with no code and no line.
  void FileError(std::string path, std::string text);

  void Print(std::FILE* out) const;
  [[nodiscard]] int errors() const { return errors_; }
  [[nodiscard]] int warnings() const { return warnings_; }

 private:
  void Add(const Finding& finding);

  std::deque<std::string> lines_;                // formatted; a deque never moves them
  std::unordered_set<std::string_view> seen_;  // views of lines_
  int errors_ = 0;
  int warnings_ = 0;
};

}  // namespace upd::medium
