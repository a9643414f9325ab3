// Shared helpers of the test programs: temporary directories and small file tools.
#pragma once

#include <ctime>
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

/// Whether this build's time_t holds instants after 2038-01-19 03:14:07 UTC:
/// false on the instrument's 32-bit build, where tests of such instants skip
/// with kNoTimeAfter2038 as their reason.
inline constexpr bool kTimeAfter2038 = sizeof(std::time_t) > 4;
inline constexpr const char* kNoTimeAfter2038 =
    "time_t has 32 bits on this build: no instant after 2038-01-19 03:14:07 UTC exists";
/// 2070-01-01 00:00:00 UTC where kTimeAfter2038 holds; 0 otherwise.
inline constexpr std::time_t k2070 = kTimeAfter2038 ? static_cast<std::time_t>(3155760000LL) : 0;

/// Writes `content` to `path` (created or truncated), making parent directories.
void WriteFile(const std::string& path, std::string_view content);

/// The whole content of `path`; "" when it cannot be read.
[[nodiscard]] std::string ReadFile(const std::string& path);

/// true when `path` names an entry (links not followed).
[[nodiscard]] bool PathExists(const std::string& path);

}  // namespace upd::test
