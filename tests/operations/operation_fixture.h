// Shared set-up of the operation tests: a simulated instrument installed as the
// platform, a fresh UpdateInfo, and a manifest store holding one section.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "driver/update_info.h"
#include "manifest/store.h"
#include "support/sim_instrument.h"
#include "support/test_support.h"

namespace upd::test {

using Entries = std::vector<std::pair<std::string, std::string>>;

class OperationTest : public testing::Test {
 protected:
  static constexpr const char* kSection = "[Step]";

  void TearDown() override { FreeAuxInfo(); }

  /// Makes the store hold the one section kSection with `entries`.
  static void SetSection(const Entries& entries) {
    AuxListBuilder builder;
    ASSERT_EQ(builder.AddSection(kSection), 1);
    for (const auto& [key, value] : entries) ASSERT_EQ(builder.AddEntry(key, value), 1);
    InstallAuxInfo(builder.Release());
  }

  /// Entries without `key`.
  static Entries Without(Entries entries, const std::string& key) {
    std::erase_if(entries, [&](const auto& entry) { return entry.first == key; });
    return entries;
  }

  /// Entries with `key` set to `value`.
  static Entries With(Entries entries, const std::string& key, const std::string& value) {
    for (auto& entry : entries) {
      if (entry.first == key) entry.second = value;
    }
    return entries;
  }

  [[nodiscard]] std::string Host(const std::string& path) const { return sim_.Host(path); }
  void Write(const std::string& path, std::string_view content) const {
    WriteFile(Host(path), content);
  }
  [[nodiscard]] std::string Read(const std::string& path) const { return ReadFile(Host(path)); }
  [[nodiscard]] bool Exists(const std::string& path) const { return PathExists(Host(path)); }

  SimulatedInstrument sim_;
  UpdateInfo info_{};
};

}  // namespace upd::test
