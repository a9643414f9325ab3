#include "medium/findings.h"

#include <utility>

namespace upd::medium {

std::string FormatFinding(const Finding& finding) {
  std::string line = finding.file + ":";
  if (finding.line > 0) line += std::to_string(finding.line) + ":";
  if (finding.severity == Severity::kWarning) {
    line += " warning: ";
  } else if (finding.code != 0) {
    line += " error " + std::to_string(finding.code) + ": ";
  } else {
    line += " error: ";
  }
  if (!finding.section.empty()) line += "section " + finding.section + ": ";
  return line + finding.text;
}

void Findings::Error(int line, int code, std::string_view section, std::string text) {
  Add(Finding{line, Severity::kError, code, std::string(section), std::move(text)});
}

void Findings::Warning(int line, std::string_view section, std::string text) {
  Add(Finding{line, Severity::kWarning, 0, std::string(section), std::move(text)});
}

void Findings::FileError(std::string path, std::string text) {
  Add(Finding{0, Severity::kError, 0, "", std::move(text), std::move(path)});
}

void Findings::Add(const Finding& finding) {
  // A set of what was said keeps the repeat test constant-time: a manifest
  // may yield a finding per section.
  lines_.push_back(FormatFinding(finding));
  if (!seen_.insert(lines_.back()).second) {
    lines_.pop_back();
    return;
  }
  (finding.severity == Severity::kError ? errors_ : warnings_) += 1;
}

void Findings::Print(std::FILE* out) const {
  for (const std::string& line : lines_) std::fprintf(out, "%s\n", line.c_str());
}

}  // namespace upd::medium
