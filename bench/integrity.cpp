// Throughput of the integrity digests beside OpenSSL's.
//
//   bench_integrity [benchmark options]   the in-process benchmarks, then the
//                                         throughput ratios ours / OpenSSL
//   bench_integrity --md5 FILE            prints MD5Hash(FILE) once
//   bench_integrity --sha256 FILE         prints SHA256Hash(FILE) once
//
// The file benchmarks digest UPD_BENCH_FILE when it is set (the comparison
// script passes the file it gives md5sum and openssl dgst), else a 256 MiB file
// of random bytes made in a temporary directory and removed at the end.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "integrity/md5.h"
#include "integrity/sha256.h"

namespace {

constexpr std::size_t kBufferBytes = std::size_t{64} << 20;
constexpr std::size_t kFileBytes = std::size_t{256} << 20;

std::vector<unsigned char> RandomBytes(std::size_t n) {
  std::vector<unsigned char> bytes(n);
  std::mt19937_64 rng(4271);
  for (std::size_t i = 0; i + 8 <= n; i += 8) {
    const std::uint64_t word = rng();
    std::memcpy(bytes.data() + i, &word, 8);
  }
  return bytes;
}

const std::vector<unsigned char>& Buffer() {
  static const std::vector<unsigned char> buffer = RandomBytes(kBufferBytes);
  return buffer;
}

// The file the file benchmarks digest; made on first use unless given.
class BenchFile {
 public:
  BenchFile() {
    if (const char* given = std::getenv("UPD_BENCH_FILE"); given != nullptr && *given != '\0') {
      path_ = given;
      return;
    }
    std::string dir = (std::filesystem::temp_directory_path() / "bench-integrity-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) return;
    dir_ = dir;
    path_ = dir + "/payload.bin";
    std::FILE* out = std::fopen(path_.c_str(), "wb");
    if (out == nullptr) return;
    const std::vector<unsigned char> chunk = RandomBytes(kBufferBytes);
    for (std::size_t done = 0; done < kFileBytes; done += chunk.size()) {
      std::fwrite(chunk.data(), 1, chunk.size(), out);
    }
    std::fclose(out);
  }
  ~BenchFile() {
    if (!dir_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(dir_, ignored);
    }
  }
  BenchFile(const BenchFile&) = delete;
  BenchFile& operator=(const BenchFile&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] std::int64_t size() const {
    std::error_code ec;
    const auto n = std::filesystem::file_size(path_, ec);
    return ec ? 0 : static_cast<std::int64_t>(n);
  }

 private:
  std::string dir_;
  std::string path_;
};

BenchFile& File() {
  static BenchFile file;
  return file;
}

void BM_Md5Engine_Ours(benchmark::State& state) {
  const auto& buffer = Buffer();
  for (auto _ : state) {
    upd::md5_state_s md5;
    upd::md5_init(&md5);
    upd::md5_append(&md5, buffer.data(), static_cast<int>(buffer.size()));
    unsigned char digest[upd::kMd5DigestBytes];
    upd::md5_finish(&md5, digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffer.size()));
}

void OpenSslDigest(benchmark::State& state, const char* name) {
  const auto& buffer = Buffer();
  // Fetched once, so that only the digest itself is timed.
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  if (md == nullptr) {
    state.SkipWithError("digest not available");
    return;
  }
  for (auto _ : state) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(buffer.data(), buffer.size(), digest, &length, md, nullptr);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_free(md);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffer.size()));
}

void BM_Md5Engine_OpenSSL(benchmark::State& state) {
  OpenSslDigest(state, "MD5");
}
void BM_Sha256Memory_OpenSSL(benchmark::State& state) {
  OpenSslDigest(state, "SHA256");
}

template <typename Digest>
void FileDigest(benchmark::State& state, Digest digest) {
  const BenchFile& file = File();
  const std::int64_t size = file.size();
  if (size == 0) {
    state.SkipWithError("no benchmark file");
    return;
  }
  char out[512];
  // One untimed pass puts the file in the page cache.
  if (digest(file.path().c_str(), out) != 1) {
    state.SkipWithError("digest failed");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(digest(file.path().c_str(), out));
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_Md5Hash_File(benchmark::State& state) {
  FileDigest(state, [](const char* path, char* out) { return upd::MD5Hash(path, out, 512); });
}
void BM_Sha256Hash_File(benchmark::State& state) {
  FileDigest(state, [](const char* path, char* out) { return upd::SHA256Hash(path, out); });
}

BENCHMARK(BM_Md5Engine_Ours)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Md5Engine_OpenSSL)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Sha256Memory_OpenSSL)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Md5Hash_File)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Sha256Hash_File)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Console output as usual, plus the throughputs kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("bytes_per_second");
      if (!run.error_occurred && it != run.counters.end()) {
        throughput_[run.run_name.function_name] = it->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio(const char* label, const std::string& ours, const std::string& theirs) const {
    const auto a = throughput_.find(ours);
    const auto b = throughput_.find(theirs);
    if (a == throughput_.end() || b == throughput_.end() || b->second <= 0) return;
    std::printf("%-44s %6.1f %%\n", label, 100.0 * a->second / b->second);
  }

 private:
  std::map<std::string, double> throughput_;
};

int PrintFileDigest(const char* mode, const char* path) {
  char out[512];
  int ok = 0;
  if (std::strcmp(mode, "--md5") == 0) {
    ok = upd::MD5Hash(path, out, sizeof out);
  } else if (std::strcmp(mode, "--sha256") == 0) {
    ok = upd::SHA256Hash(path, out);
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode);
    return 2;
  }
  if (ok != 1) {
    std::fprintf(stderr, "%s: digest failed\n", path);
    return 1;
  }
  std::printf("%s  %s\n", out, path);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strncmp(argv[1], "--", 2) == 0 &&
      std::strncmp(argv[1], "--benchmark", 11) != 0) {
    return PrintFileDigest(argv[1], argv[2]);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nThroughput ratios, in-process (CPU time):\n");
  reporter.PrintRatio("MD5 engine / OpenSSL MD5, 64 MiB buffer", "BM_Md5Engine_Ours",
                      "BM_Md5Engine_OpenSSL");
  // How much reading the page-cached file costs on top of the digest itself.
  reporter.PrintRatio("MD5Hash file / MD5 engine in memory", "BM_Md5Hash_File",
                      "BM_Md5Engine_Ours");
  reporter.PrintRatio("SHA256Hash file / OpenSSL SHA-256 in memory", "BM_Sha256Hash_File",
                      "BM_Sha256Memory_OpenSSL");
  benchmark::Shutdown();
  return 0;
}
