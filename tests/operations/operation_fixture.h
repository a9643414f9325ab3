// Operation tests: a simulated instrument as the platform, an UpdateInfo and one section.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "common/update_info.h"
#include "manifest/store.h"
#include "support/sim_instrument.h"
#include "support/test_support.h"

namespace upd::test {

using Entries = std::vector<std::pair<std::string, std::string>>;

inline Entries Without(Entries entries, const std::string& key) {
  std::erase_if(entries, [&](const auto& entry) { return entry.first == key; });
  return entries;
}

// `entries` with `key` set to `value`, added at the end when absent.
inline Entries With(Entries entries, const std::string& key, const std::string& value) {
  entries = Without(std::move(entries), key);
  entries.emplace_back(key, value);
  return entries;
}

// An expected OperationTest::State(): nullptr for an absent file.
inline std::string Expect(std::initializer_list<const char*> contents) {
  std::string state;
  for (const char* content : contents) state += std::string(content ? content : "-") + '|';
  return state;
}

class OperationTest : public testing::Test {
 protected:
  static constexpr const char* kSection = "[Step]";

  void TearDown() override { FreeAuxInfo(); }

  static void SetSection(const Entries& entries) {
    AuxListBuilder builder;
    ASSERT_EQ(builder.AddSection(kSection), 1);
    for (const auto& [key, value] : entries) ASSERT_EQ(builder.AddEntry(key, value), 1);
    InstallAuxInfo(builder.Release());
  }

  [[nodiscard]] std::string Host(const std::string& path) const { return sim_.Host(path); }
  void Write(const std::string& path, std::string_view content) const {
    WriteFile(Host(path), content);
  }
  [[nodiscard]] std::string Read(const std::string& path) const { return ReadFile(Host(path)); }
  // The files at `paths`, each ended by '|': "-" when absent, "dir" for a directory.
  [[nodiscard]] std::string State(std::initializer_list<const char*> paths) const {
    std::string state;
    for (const char* path : paths) {
      const std::string host = Host(path);
      state += std::filesystem::is_directory(host) ? "dir"
               : PathExists(host)                  ? ReadFile(host)
                                                   : "-";
      state += '|';
    }
    return state;
  }

  SimulatedInstrument sim_;
  UpdateInfo info_{};
};

}  // namespace upd::test
