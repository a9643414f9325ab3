// Manifest load as a run does it: read a generated manifest of N step
// sections, expand the sequence, then look up every step's "Operation" and a
// dozen of its keys. Growth from 5,000 to 10,000 steps should be near-linear.
//
// And what the store costs to hold the costliest manifests, from 1 KiB to the
// largest admitted: one-character entries "K=1" under one section, and
// one-character section lines "S" alone. Counters: the store's bytes per
// manifest byte, and the peak resident growth of a process that reads it once.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "manifest/reader.h"
#include "manifest/sequence.h"
#include "manifest/store.h"
#include "manifest_load.h"

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

// The peak resident growth, in KiB, of a fresh process (this program, run
// again with --read-once) that reads `path` once; -1 when not measured.
std::string selfPath;

long PeakGrowthKiB(const char* path) {
  const std::string command = "'" + selfPath + "' --read-once '" + path + "'";
  std::FILE* child = ::popen(command.c_str(), "r");
  if (child == nullptr) return -1;
  long growth = -1;
  if (std::fscanf(child, "%ld", &growth) != 1) growth = -1;
  return ::pclose(child) == 0 ? growth : -1;
}

int ReadOnce(const char* path) {
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  if (upd::ReadAuxInfo(path) == 0) return 1;
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);
  std::printf("%ld\n", after.ru_maxrss - before.ru_maxrss);
  return 0;
}

// The costliest manifests of `bytes` bytes: one section of "K=1" entries
// (range 1 == 0) or "S" section lines alone (range 1 == 1).
void BM_WorstCaseStore(benchmark::State& state) {
  const auto bytes = static_cast<std::size_t>(state.range(0));
  const bool headers = state.range(1) == 1;
  const std::string unit = headers ? "S\n" : "K=1\n";
  std::string text = headers ? "" : "S\n";
  while (text.size() + unit.size() <= bytes) text += unit;
  const ManifestFile manifest(0);
  std::ofstream(manifest.path(), std::ios::trunc) << text;
  double perByte = 0;
  for (auto _ : state) {
    if (upd::ReadAuxInfo(manifest.path()) == 0) state.SkipWithError("read failed");
    perByte = static_cast<double>(upd::AuxStoreBytes()) / static_cast<double>(text.size());
    upd::FreeAuxInfo();
  }
  state.SetLabel(headers ? "section lines" : "entries");
  state.counters["store_B_per_B"] = perByte;
  state.counters["peak_KiB"] = static_cast<double>(PeakGrowthKiB(manifest.path()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_WorstCaseStore)
    ->ArgsProduct({{1 << 10, 100 << 10, 1 << 20, upd::kMaxManifestBytes}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--read-once") return ReadOnce(argv[2]);
  selfPath = std::filesystem::canonical("/proc/self/exe");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
