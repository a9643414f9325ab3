#include "sim/sim_paths.h"

#include <vector>

namespace upd::sim {

std::string MapPath(std::string_view root, std::string_view path) {
  if (path.empty()) return {};
  std::vector<std::string_view> parts;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(pos, end - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = end + 1;
  }
  std::string mapped(root);
  for (const std::string_view part : parts) {
    mapped += '/';
    mapped += part;
  }
  if (path.back() == '/' && !parts.empty()) mapped += '/';
  return mapped;
}

std::optional<std::string> BelowMountPoint(std::string_view path) {
  constexpr std::string_view kMount = "/mnt";
  const std::string normal = MapPath("", path);
  if (!normal.starts_with(kMount) || (normal.size() > kMount.size() && normal[kMount.size()] != '/')) {
    return std::nullopt;
  }
  return normal.substr(kMount.size());
}

std::string ShellQuote(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

}  // namespace upd::sim
