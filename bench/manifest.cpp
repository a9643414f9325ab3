// Manifest load as a run does it: read a generated manifest of N step
// sections, expand the sequence, then look up every step's "Operation" and a
// dozen of its keys. Growth from 5,000 to 10,000 steps should be near-linear.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "manifest_load.h"
#include "manifest/reader.h"
#include "manifest/sequence.h"
#include "manifest/store.h"

namespace {

using bench::kStepKeys;

// Writes the manifest: the list section with groups nested as deep as needed,
// then one section per step with every key the lookups ask for.
void WriteManifest(const std::string& path, int steps) {
  std::ofstream out(path);
  bench::WriteSectionList(out, steps);
  for (int i = 0; i < steps; ++i) {
    out << "; step " << i << "\nS" << i << "\nOperation = TransferFile\n";
    for (const char* key : kStepKeys) out << key << " = value-of-" << key << "-" << i << "\n";
  }
}

class ManifestFile {
 public:
  explicit ManifestFile(int steps) {
    std::string pattern = std::filesystem::temp_directory_path() / "upd-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    path_ = dir_ + "/AuxInfo.txt";
    WriteManifest(path_, steps);
  }
  ~ManifestFile() { std::filesystem::remove_all(dir_); }
  ManifestFile(const ManifestFile&) = delete;
  ManifestFile& operator=(const ManifestFile&) = delete;
  [[nodiscard]] const char* path() const { return path_.c_str(); }

 private:
  std::string dir_;
  std::string path_;
};

void BM_LoadExpandLookup(benchmark::State& state) {
  const auto steps = static_cast<int>(state.range(0));
  const ManifestFile manifest(steps);
  for (auto _ : state) bench::LoadExpandLookup(state, manifest.path(), steps);
  state.SetComplexityN(steps);
}

BENCHMARK(BM_LoadExpandLookup)
    ->Arg(5000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
