// What the manifest benchmarks share: the keys a step's lookups ask for, the
// list lines of generated manifests, and the updater's load of a manifest.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "manifest/reader.h"
#include "manifest/sequence.h"
#include "manifest/store.h"

namespace bench {

inline constexpr std::array<const char*, 12> kStepKeys = {
    "SrcDir",    "SrcFile",    "InterimDir", "InterimFile", "DestDir",    "DestFile",
    "BackupDir", "BackupFile", "TimeStamp",  "MD5Hash",     "SHA256Hash", "DestNoExist"};

// Names per group line: 24 names of up to 9 characters keep a line below 255.
inline constexpr std::size_t kGroupWidth = 24;

/// names[from, to) as a comma list.
inline std::string Join(const std::vector<std::string>& names, std::size_t from, std::size_t to) {
  std::string list;
  for (std::size_t i = from; i < to; ++i) list += (i == from ? "" : ", ") + names[i];
  return list;
}

/// Writes the list section of a manifest whose steps are S0 ... S<steps - 1>:
/// groups nested as deep as needed keep every line below 255 characters.
inline void WriteSectionList(std::ostream& out, int steps) {
  std::vector<std::string> level;
  for (int i = 0; i < steps; ++i) level.push_back(std::string("S").append(std::to_string(i)));
  out << "SectionList\n";
  for (int depth = 0; level.size() > kGroupWidth; ++depth) {
    std::vector<std::string> groups;
    for (std::size_t from = 0; from < level.size(); from += kGroupWidth) {
      groups.push_back(std::string("G")
                           .append(std::to_string(depth))
                           .append("_")
                           .append(std::to_string(groups.size())));
      out << groups.back() << " = " << Join(level, from, std::min(from + kGroupWidth, level.size()))
          << "\n";
    }
    level = std::move(groups);
  }
  out << "Sequence = " << Join(level, 0, level.size()) << "\n";
}

/// The updater's load of manifest `path`: read, expand the sequence, look up
/// each step's keys, free it all. An error on `state` when the manifest does
/// not load or does not hold `steps` steps.
inline void LoadExpandLookup(benchmark::State& state, const char* path, int steps) {
  std::array<char, 256> value{};
  if (upd::ReadAuxInfo(path) == 0) state.SkipWithError("read failed");
  upd::Section* sequence = nullptr;
  if (upd::BuildSectionList("SectionList", "Sequence", &sequence) == 0) {
    state.SkipWithError("expansion failed");
  }
  int count = 0;
  for (const upd::Section* s = sequence; s != nullptr; s = s->next, ++count) {
    bool found = false;
    benchmark::DoNotOptimize(upd::GetAuxInfo(s->name, "Operation", value.data(), 256, &found));
    for (const char* key : kStepKeys) {
      benchmark::DoNotOptimize(upd::GetAuxInfo(s->name, key, value.data(), 256, &found));
    }
    if (!found) state.SkipWithError("key missing");
  }
  if (count != steps) state.SkipWithError("wrong number of steps");
  upd::FreeSectionList(&sequence);
  upd::FreeAuxInfo();
}

}  // namespace bench
