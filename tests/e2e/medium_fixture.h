// What the tests of update-medium share: copies of the sample medium, edited
// and signed, and the simulated instrument's answer to them.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim_runner.h"
#include "support/digests.h"

namespace upd::e2e {

namespace fs = std::filesystem;

constexpr const char kInstalled[] = "2026-06-15 09:30:00";
constexpr const char kSample[] = UPD_SOURCE_DIR "/examples/medium";

// The lines of `path`, each with its line end.
inline std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(test::ReadFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
  return lines;
}

// Findings on the manifest's lines and on files of the medium; the steps are
// indented.
inline std::vector<std::string> FindingLines(const std::string& output) {
  std::vector<std::string> findings;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with(" ") && (line.find(": error") != std::string::npos ||
                                   line.find(": warning: ") != std::string::npos)) {
      findings.push_back(line);
    }
  }
  return findings;
}

// Matchers for lines that start with `starts`, every "{M}" in them replaced by `medium`.
inline std::vector<::testing::Matcher<std::string>> Starting(const std::vector<std::string>& starts,
                                                             const std::string& medium = "") {
  std::vector<::testing::Matcher<std::string>> matchers;
  for (std::string text : starts) {
    for (std::size_t at = text.find("{M}"); at != std::string::npos; at = text.find("{M}", at))
      text.replace(at, 3, medium);
    matchers.push_back(::testing::StartsWith(text));
  }
  return matchers;
}

class Medium : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keys_ = std::make_unique<test::TempDir>();  // one key pair for the suite: making one is slow
    ASSERT_TRUE(test::MakeKeyPair(keys_->path()));
  }
  static void TearDownTestSuite() { keys_.reset(); }

  /// A copy of the sample medium, its manifest lines replaced as `edits` says
  /// (line number -> new text; "" keeps the numbering of the lines after it).
  std::string Copy(const std::map<int, std::string>& edits = {}) {
    const std::string medium = dir_ / ("medium" + std::to_string(++copies_));
    fs::copy(kSample, medium, fs::copy_options::recursive);
    std::vector<std::string> lines = Lines(Manifest(medium));
    for (const auto& [number, text] : edits)
      lines.at(static_cast<std::size_t>(number - 1)) = text + "\n";
    std::string manifest;
    for (const std::string& line : lines) manifest += line;
    test::WriteFile(Manifest(medium), manifest);
    return medium;
  }
  static std::string Manifest(const std::string& medium) {
    return medium + "/firmware/AuxInfo.txt";
  }
  static void Sign(const std::string& medium) {
    ASSERT_TRUE(test::SignFile(keys_->path(), Manifest(medium), Manifest(medium) + ".sha256"));
  }
  static std::string PublicKey() { return keys_->path() + "/key.pub"; }

  inline static std::unique_ptr<test::TempDir> keys_;
  test::TempDir dir_;
  int copies_ = 0;
};

}  // namespace upd::e2e
