// Shared helpers of the test programs: temporary directories and small file tools.
#pragma once

#include <string>
#include <string_view>

namespace upd::test {

/// A fresh directory under the system's temporary directory, removed with
/// everything in it when the guard goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }
  /// path() + "/" + name
  [[nodiscard]] std::string operator/(std::string_view name) const;

 private:
  std::string path_;
};

/// Writes `content` to `path` (created or truncated), making parent directories.
void WriteFile(const std::string& path, std::string_view content);

/// The whole content of `path`; "" when it cannot be read.
[[nodiscard]] std::string ReadFile(const std::string& path);

/// true when `path` names an entry (links not followed).
[[nodiscard]] bool PathExists(const std::string& path);

}  // namespace upd::test
