// A platform for fault injection: passes every call to another platform, but
// sends one instrument path to a place where nothing can be made while a
// condition holds.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"

namespace upd::test {

class DivertedPlatform final : public platform::Platform {
 public:
  /// While `when()` holds, `target` resolves below a directory that does not
  /// exist, so opening, renaming onto or changing it fails with ENOENT.
  DivertedPlatform(platform::Platform& inner, std::string target, std::function<bool()> when)
      : inner_(inner), target_(std::move(target)), when_(std::move(when)) {}

  [[nodiscard]] std::string Resolve(std::string_view path) const override {
    std::string host = inner_.Resolve(path);
    if (path == target_ && when_()) host += ".diverted/x";
    return host;
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

 private:
  platform::Platform& inner_;
  std::string target_;
  std::function<bool()> when_;
};

}  // namespace upd::test
