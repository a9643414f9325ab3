// A platform that hands every call to another one.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace upd::platform {

/// Passes every call to `inner`: a base for platforms that change a few calls
/// of another (fault injection in the tests, a real sync in the benchmarks).
class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

  [[nodiscard]] HostPath Resolve(std::string_view path, Follow last) const override {
    return inner_.Resolve(path, last);
  }
  [[nodiscard]] int Mount(const char* source, const char* target, const char* fstype,
                          unsigned long flags) override {
    return inner_.Mount(source, target, fstype, flags);
  }
  [[nodiscard]] int Unmount(const char* target) override { return inner_.Unmount(target); }
  int RunCommand(CommandKind kind, const char* command) override {
    return inner_.RunCommand(kind, command);
  }
  void Sync() override { inner_.Sync(); }
  [[nodiscard]] int SyncFile(std::FILE* stream) override { return inner_.SyncFile(stream); }
  void Sleep(unsigned seconds) override { inner_.Sleep(seconds); }
  [[nodiscard]] int DescriptorOf(std::FILE* stream) const override {
    return inner_.DescriptorOf(stream);
  }
  [[nodiscard]] std::FILE* OpenStream(std::string_view path, const HostPath& where,
                                      const char* mode) override {
    return inner_.OpenStream(path, where, mode);
  }
  [[nodiscard]] int BeforeChange(FileCall call, std::string_view path,
                                 std::string_view other) override {
    return inner_.BeforeChange(call, path, other);
  }

 protected:
  Platform& inner_;
};

}  // namespace upd::platform
