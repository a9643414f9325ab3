// Platforms for fault injection: they pass every call to another platform and
// change what one path resolves to, or refuse one kind of change.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/forwarding.h"
#include "platform/platform.h"

namespace upd::test {

using platform::ForwardingPlatform;

class DivertedPlatform final : public ForwardingPlatform {
 public:
  /// While `when()` holds, `target` resolves below a directory that does not
  /// exist, so opening, renaming onto or changing it fails with ENOENT.
  DivertedPlatform(platform::Platform& inner, std::string target, std::function<bool()> when)
      : ForwardingPlatform(inner), target_(std::move(target)), when_(std::move(when)) {}

  [[nodiscard]] platform::HostPath Resolve(std::string_view path,
                                           platform::Follow last) const override {
    platform::HostPath host = inner_.Resolve(path, last);
    if (path == target_ && when_()) host.name += ".diverted/x";
    return host;
  }

 private:
  std::string target_;
  std::function<bool()> when_;
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

}  // namespace upd::test
