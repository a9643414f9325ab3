// Platforms for fault injection: they pass every call to another platform and
// change what one path resolves to or opens, or refuse one kind of change.
#pragma once

#include <cerrno>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/forwarding.h"
#include "platform/platform.h"

namespace upd::test {

using platform::ForwardingPlatform;

class DivertedPlatform final : public ForwardingPlatform {
 public:
  /// `target` resolves below a directory that does not exist, so opening,
  /// renaming onto or changing it fails with ENOENT.
  DivertedPlatform(platform::Platform& inner, std::string target)
      : ForwardingPlatform(inner), target_(std::move(target)) {}

  [[nodiscard]] platform::HostPath Resolve(std::string_view path,
                                           platform::Follow last) const override {
    platform::HostPath host = inner_.Resolve(path, last);
    if (path == target_) host.name += ".diverted/x";
    return host;
  }

 private:
  std::string target_;
};

class RefusingPlatform final : public ForwardingPlatform {
 public:
  /// Every `call` (on any path) fails with errno value `error`.
  RefusingPlatform(platform::Platform& inner, platform::FileCall call, int error)
      : ForwardingPlatform(inner), call_(call), error_(error) {}

  [[nodiscard]] int BeforeChange(platform::FileCall call, std::string_view path,
                                 std::string_view other) override {
    return call == call_ ? error_ : inner_.BeforeChange(call, path, other);
  }

 private:
  platform::FileCall call_;
  int error_;
};

/// Asks `hook(n)` before the nth opening (counted from 1) of `path` as a stream
/// and opens what it answers instead: "" keeps `path`, nullptr fails (EACCES).
class OpenHook final : public ForwardingPlatform {
 public:
  OpenHook(platform::Platform& inner, std::string path, std::function<const char*(int)> hook)
      : ForwardingPlatform(inner), path_(std::move(path)), hook_(std::move(hook)) {}

  std::FILE* OpenStream(std::string_view path, const platform::HostPath& where,
                        const char* mode) override {
    const char* other = path == path_ ? hook_(++opens_) : "";
    if (other == nullptr) {
      errno = EACCES;
      return nullptr;
    }
    if (*other == '\0') return inner_.OpenStream(path, where, mode);
    return inner_.OpenStream(other, inner_.Resolve(other, platform::Follow::kYes), mode);
  }

 private:
  std::string path_;
  std::function<const char*(int)> hook_;
  int opens_ = 0;
};

/// The faults of one test case: every `refuse->first` call fails with errno
/// value `refuse->second`, and `divert`, when set, is diverted (DivertedPlatform).
struct Faults {
  std::optional<std::pair<platform::FileCall, int>> refuse = std::nullopt;
  const char* divert = nullptr;
};

/// Installs `faults` over `inner` for the lifetime of the scope.
class FaultScope {
 public:
  FaultScope(platform::Platform& inner, const Faults& faults) {
    platform::Platform* top = &inner;
    if (faults.refuse) top = &refusing_.emplace(*top, faults.refuse->first, faults.refuse->second);
    if (faults.divert != nullptr) top = &diverted_.emplace(*top, faults.divert);
    installed_.emplace(*top);
  }

 private:
  std::optional<RefusingPlatform> refusing_;
  std::optional<DivertedPlatform> diverted_;
  std::optional<platform::ScopedPlatform> installed_;
};

}  // namespace upd::test
