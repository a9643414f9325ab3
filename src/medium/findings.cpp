#include "medium/findings.h"

#include <algorithm>
#include <utility>

namespace upd::medium {

std::string FormatFinding(const Finding& finding) {
  std::string line = "AuxInfo.txt:";
  if (finding.line > 0) line += std::to_string(finding.line) + ":";
  if (finding.severity == Severity::kError) {
    line += " error " + std::to_string(finding.code) + ": ";
  } else {
    line += " warning: ";
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

void Findings::Add(Finding finding) {
  const auto same = [&finding](const Finding& f) {
    return f.line == finding.line && f.severity == finding.severity && f.code == finding.code &&
           f.section == finding.section && f.text == finding.text;
  };
  if (std::any_of(list_.begin(), list_.end(), same)) return;
  (finding.severity == Severity::kError ? errors_ : warnings_) += 1;
  list_.push_back(std::move(finding));
}

void Findings::Print(std::FILE* out) const {
  for (const Finding& finding : list_) std::fprintf(out, "%s\n", FormatFinding(finding).c_str());
}

}  // namespace upd::medium
