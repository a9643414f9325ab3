// Platforms for fault injection: they pass every call to another platform and
// change what one path resolves to, or refuse one kind of change.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"

namespace upd::test {

/// Passes every call to `inner`; derived classes change Resolve.
class ForwardingPlatform : public platform::Platform {
 public:
  explicit ForwardingPlatform(platform::Platform& inner) : inner_(inner) {}

  [[nodiscard]] std::string Resolve(std::string_view path) const override {
    return inner_.Resolve(path);
  }
  [[nodiscard]] int Mount(const char* source, const char* target, const char* fstype,
                          unsigned long flags) override {
    return inner_.Mount(source, target, fstype, flags);
  }
  [[nodiscard]] int Unmount(const char* target) override { return inner_.Unmount(target); }
  int RunCommand(platform::CommandKind kind, const char* command) override {
    return inner_.RunCommand(kind, command);
  }
  void Sync() override { inner_.Sync(); }
  void Sleep(unsigned seconds) override { inner_.Sleep(seconds); }
  [[nodiscard]] std::FILE* OpenStream(std::string_view path, const std::string& hostPath,
                                      const char* mode) override {
    return inner_.OpenStream(path, hostPath, mode);
  }
  [[nodiscard]] int BeforeChange(platform::FileCall call, std::string_view path) override {
    return inner_.BeforeChange(call, path);
  }

 protected:
  platform::Platform& inner_;
};

class DivertedPlatform final : public ForwardingPlatform {
 public:
  /// While `when()` holds, `target` resolves below a directory that does not
  /// exist, so opening, renaming onto or changing it fails with ENOENT.
  DivertedPlatform(platform::Platform& inner, std::string target, std::function<bool()> when)
      : ForwardingPlatform(inner), target_(std::move(target)), when_(std::move(when)) {}

  [[nodiscard]] std::string Resolve(std::string_view path) const override {
    std::string host = inner_.Resolve(path);
    if (path == target_ && when_()) host += ".diverted/x";
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

  [[nodiscard]] int BeforeChange(platform::FileCall call, std::string_view path) override {
    return call == call_ ? error_ : inner_.BeforeChange(call, path);
  }

 private:
  platform::FileCall call_;
  int error_;
};

}  // namespace upd::test
