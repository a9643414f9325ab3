// update-medium's passes over a generated medium of N sections, beside the
// updater reading the same manifest: one section in ten is a "TransferFile"
// step (listed through nested groups) whose source lies on the medium, the
// others are short sections no step names. Every pass should grow linearly:
// compare 10k -> 100k -> 1M sections.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "integrity/md5.h"
#include "integrity/sha256.h"
#include "manifest_load.h"
#include "manifest/reader.h"
#include "manifest/sequence.h"
#include "manifest/store.h"
#include "medium/check.h"
#include "medium/digests.h"

namespace {

using bench::kStepKeys;

namespace fs = std::filesystem;

constexpr int kSectionsPerStep = 10;
constexpr int kSourceFiles = 16;

struct Digests {
  std::string md5;
  std::string sha256;
};

// A medium folder in a fresh temporary directory, removed with it.
class GeneratedMedium {
 public:
  // `rightDigests` false writes a wrong MD5Hash and no SHA256Hash, which
  // digests then has to fill in for every step.
  GeneratedMedium(int sections, bool rightDigests) : steps_(sections / kSectionsPerStep) {
    std::string pattern = fs::temp_directory_path() / "upd-bench-medium-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    medium_ = dir_ + "/medium";
    fs::create_directories(medium_ + "/firmware/files");
    std::vector<Digests> digests;
    for (int k = 0; k < kSourceFiles; ++k) {
      const std::string path = SourceHost(k);
      std::ofstream(path) << "build of file " << k << "\n"
                          << std::string(static_cast<std::size_t>(1000 + k), 'x');
      std::array<char, 512> md5{};
      std::array<char, 512> sha{};
      if (upd::MD5Hash(path.c_str(), md5.data(), 512) == 0 ||
          upd::SHA256Hash(path.c_str(), sha.data()) == 0) {
        std::abort();
      }
      digests.push_back({md5.data(), sha.data()});
    }
    WriteManifest(sections, digests, rightDigests);
    original_ = ReadAll(manifest());
  }
  ~GeneratedMedium() { fs::remove_all(dir_); }
  GeneratedMedium(const GeneratedMedium&) = delete;
  GeneratedMedium& operator=(const GeneratedMedium&) = delete;

  [[nodiscard]] const std::string& medium() const { return medium_; }
  [[nodiscard]] std::string manifest() const { return medium_ + "/firmware/AuxInfo.txt"; }
  [[nodiscard]] std::string output() const { return dir_ + "/output.txt"; }
  [[nodiscard]] int steps() const { return steps_; }
  void Restore() const { std::ofstream(manifest(), std::ios::binary) << original_; }

 private:
  [[nodiscard]] std::string SourceHost(int k) const {
    return medium_ + "/firmware/files/f" + std::to_string(k) + ".bin";
  }

  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  void WriteManifest(int sections, const std::vector<Digests>& digests, bool rightDigests) const {
    std::ofstream out(manifest());
    bench::WriteSectionList(out, steps_);
    for (int i = 0; i < sections; ++i) {
      const int step = i / kSectionsPerStep;
      if (i % kSectionsPerStep != 0 || step >= steps_) {
        out << "Note" << i << "\nText = a section no step names, " << i << "\n";
        continue;
      }
      const int k = step % kSourceFiles;
      out << "S" << step << "\nOperation = TransferFile\n"
          << "SrcDir = /mnt/firmware/files\nSrcFile = f" << k << ".bin\n"
          << "InterimDir = /home/Corvenal/download\nInterimFile = s" << step << ".new\n"
          << "DestDir = /home/Corvenal/bin\nDestFile = s" << step << "\n"
          << "BackupDir = /home/Corvenal/bin\nBackupFile = s" << step << ".bak\n"
          << "TimeStamp = 2026-11-30 14:05:00\nDestNoExist = true\n";
      if (rightDigests) {
        out << "MD5Hash = " << digests[static_cast<std::size_t>(k)].md5 << "\n"
            << "SHA256Hash = " << digests[static_cast<std::size_t>(k)].sha256 << "\n";
      } else {
        out << "MD5Hash = 00000000000000000000000000000000\n";
      }
    }
  }

  int steps_;
  std::string dir_;
  std::string medium_;
  std::string original_;
};

void Finish(benchmark::State& state, int sections) {
  state.SetComplexityN(sections);
  state.counters["sections/s"] = benchmark::Counter(static_cast<double>(sections),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

// The updater's manifest load: read, expand the sequence, look up each step's keys.
void BM_UpdaterRead(benchmark::State& state) {
  const auto sections = static_cast<int>(state.range(0));
  const GeneratedMedium medium(sections, true);
  const std::string manifest = medium.manifest();
  for (auto _ : state) bench::LoadExpandLookup(state, manifest.c_str(), medium.steps());
  Finish(state, sections);
}

void BM_MediumCheck(benchmark::State& state) {
  const auto sections = static_cast<int>(state.range(0));
  const GeneratedMedium medium(sections, true);
  upd::medium::CheckOptions options;
  options.medium = medium.medium();
  options.timestamp = "2026-06-15 09:30:00";
  for (auto _ : state) {
    std::FILE* out = std::fopen(medium.output().c_str(), "w");
    if (out == nullptr) std::abort();
    if (upd::medium::CheckMedium(options, out) != 0) state.SkipWithError("check found errors");
    std::fclose(out);
  }
  Finish(state, sections);
}

void BM_MediumDigests(benchmark::State& state) {
  const auto sections = static_cast<int>(state.range(0));
  const GeneratedMedium medium(sections, false);
  for (auto _ : state) {
    state.PauseTiming();
    medium.Restore();
    std::FILE* out = std::fopen(medium.output().c_str(), "w");
    if (out == nullptr) std::abort();
    state.ResumeTiming();
    if (upd::medium::WriteDigests(medium.medium(), out) != 0) state.SkipWithError("digests failed");
    std::fclose(out);
  }
  Finish(state, sections);
}

// 10k, 100k and 1M sections.
BENCHMARK(BM_UpdaterRead)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MediumCheck)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MediumDigests)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
