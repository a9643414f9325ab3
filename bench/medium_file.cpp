// update-medium check of a medium whose one step installs a large file, beside
// the system's tool computing the same two digests of it:
//
//   openssl dgst -md5 F; openssl dgst -sha256 F
//
// Goal: the update-medium program at most 0.6 times that sequence. check reads
// the file once for both digests, with MD5 on a thread of its own, so MD5 alone
// sets the floor. The parts show where the time goes: both digests from one
// read (HashFile), the file read once per digest (MD5Hash, then SHA256Hash, as
// check did before), openssl's MD5 alone, and our MD5 engine over the file's
// bytes in memory, the floor.
//
//   bench_medium_file [benchmark options]
//
// Everything is timed on the wall clock, since the program and the tools run as
// processes of their own. One repetition is one run; by default 7 repetitions
// of each benchmark run in random interleaving, so that a busy neighbour on the
// machine slows every candidate alike, and the medians are compared at the end.
//
// The file holds UPD_BENCH_MIB MiB of random bytes (default 256; a few MiB make
// a quick run), made by openssl rand in a fresh temporary directory that is
// removed at the end; every candidate starts from a page-cached file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "integrity/file_digests.h"
#include "integrity/md5.h"
#include "integrity/sha256.h"
#include "medium/check.h"
#include "wall_clock.h"

namespace {

namespace fs = std::filesystem;

constexpr long kDefaultMiB = 256;

// $1 the file, $2 where the digests go.
constexpr const char kOpenSsl[] =
    R"(openssl dgst -md5 "$1" >"$2" && openssl dgst -sha256 "$1" >>"$2")";
constexpr const char kOpenSslMd5[] = R"(openssl dgst -md5 "$1" >"$2")";
// $1 the program, $2 the medium, $3 where its report goes.
constexpr const char kProgram[] = R"("$1" check "$2" >"$3")";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A medium with a manifest of one TransferFile step, whose source is the large
// file and whose digests are openssl's; set up on first use.
class Rig {
 public:
  Rig() { error_ = SetUp(); }
  ~Rig() {
    if (!work_.empty()) {
      std::error_code ignored;
      fs::remove_all(work_, ignored);
    }
  }
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  /// Why the rig could not be made; empty when it is ready.
  [[nodiscard]] const std::string& error() const { return error_; }
  [[nodiscard]] std::int64_t bytes() const { return bytes_; }
  [[nodiscard]] const std::string& medium() const { return medium_; }
  [[nodiscard]] const std::string& payload() const { return payload_; }
  [[nodiscard]] std::string Output() const { return work_ + "/output.txt"; }

  /// True when the text holds both digests of the file.
  [[nodiscard]] bool HasDigests(const std::string& text) const {
    return text.find(md5_) != std::string::npos && text.find(sha256_) != std::string::npos;
  }

 private:
  std::string SetUp() {
    std::string dir = (fs::temp_directory_path() / "bench-medium-file-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) return "cannot make a temporary directory";
    work_ = dir;
    medium_ = work_ + "/medium";
    payload_ = medium_ + "/firmware/payload.bin";
    std::error_code ec;
    fs::create_directories(medium_ + "/firmware", ec);
    if (ec) return "cannot make the medium";

    long mib = kDefaultMiB;
    if (const char* given = std::getenv("UPD_BENCH_MIB"); given != nullptr && *given != '\0') {
      mib = std::strtol(given, nullptr, 10);
      if (mib <= 0) return "UPD_BENCH_MIB is no positive number of MiB";
    }
    bytes_ = static_cast<std::int64_t>(mib) << 20;
    if (!bench::RunScript(R"(openssl rand -out "$1" "$2")", {payload_, std::to_string(bytes_)})) {
      return "openssl rand failed";
    }
    // The tools' digests go into the manifest; reading the file for them also
    // puts it in the page cache.
    const std::string digests = work_ + "/openssl.txt";
    if (!bench::RunScript(
            R"(openssl dgst -r -md5 "$1" >"$2" && openssl dgst -r -sha256 "$1" >>"$2")",
            {payload_, digests})) {
      return "openssl dgst failed";
    }
    std::istringstream lines(ReadAll(digests));
    std::string rest;
    if (!(lines >> md5_ >> rest >> sha256_) || md5_.size() != 32 || sha256_.size() != 64) {
      return "cannot read openssl's digests";
    }
    std::ofstream(medium_ + "/firmware/AuxInfo.txt")
        << "SectionList\nSequence = Payload\n\nPayload\nOperation = TransferFile\n"
        << "SrcDir = /mnt/firmware\nSrcFile = payload.bin\n"
        << "InterimDir = /home/Corvenal/download\nInterimFile = payload.new\n"
        << "DestDir = /home/Corvenal/bin\nDestFile = payload\n"
        << "BackupDir = /home/Corvenal/bin\nBackupFile = payload.bak\n"
        << "TimeStamp = 2026-11-30 14:05:00\nDestNoExist = true\n"
        << "MD5Hash = " << md5_ << "\nSHA256Hash = " << sha256_ << "\n";
    // check finds nothing wrong only when its digests are openssl's.
    if (!bench::RunScript(kProgram, {UPDATE_MEDIUM_PROGRAM, medium_, Output()})) {
      return "update-medium check found errors: see " + Output();
    }
    return {};
  }

  std::string work_;
  std::string medium_;
  std::string payload_;
  std::int64_t bytes_ = 0;
  std::string md5_;
  std::string sha256_;
  std::string error_;
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

// The rig, or nothing after the state has been marked as failed.
Rig* ReadyRig(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.error().empty()) {
    state.SkipWithError(rig.error().c_str());
    return nullptr;
  }
  return &rig;
}

void BM_Check_Program(benchmark::State& state) {
  Rig* rig = ReadyRig(state);
  if (rig == nullptr) return;
  for (auto _ : state) {
    if (!bench::RunScript(kProgram, {UPDATE_MEDIUM_PROGRAM, rig->medium(), rig->Output()})) {
      state.SkipWithError("update-medium check found errors");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * rig->bytes());
}

void BM_Check_Library(benchmark::State& state) {
  Rig* rig = ReadyRig(state);
  if (rig == nullptr) return;
  upd::medium::CheckOptions options;
  options.medium = rig->medium();
  for (auto _ : state) {
    std::FILE* out = std::fopen(rig->Output().c_str(), "w");
    const int errors = out == nullptr ? 1 : upd::medium::CheckMedium(options, out);
    if (out != nullptr) std::fclose(out);
    if (errors != 0) {
      state.SkipWithError("CheckMedium found errors");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * rig->bytes());
}

void RunTool(benchmark::State& state, const char* script) {
  Rig* rig = ReadyRig(state);
  if (rig == nullptr) return;
  for (auto _ : state) {
    if (!bench::RunScript(script, {rig->payload(), rig->Output()})) {
      state.SkipWithError("openssl dgst failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * rig->bytes());
}

void BM_Shell_OpenSSL(benchmark::State& state) {
  RunTool(state, kOpenSsl);
}
void BM_Part_OpenSslMd5(benchmark::State& state) {
  RunTool(state, kOpenSslMd5);
}

// `hash` fills both texts from the file; checked against openssl's afterwards.
template <typename Hash>
void HashBoth(benchmark::State& state, Hash hash) {
  Rig* rig = ReadyRig(state);
  if (rig == nullptr) return;
  std::array<char, upd::kMd5TextSize> md5{};
  std::array<char, upd::kSha256TextSize> sha256{};
  for (auto _ : state) {
    if (!hash(rig->payload().c_str(), md5.data(), sha256.data())) {
      state.SkipWithError("digest failed");
      break;
    }
  }
  if (!rig->HasDigests(std::string(md5.data()) + ' ' + sha256.data())) {
    state.SkipWithError("digests differ from openssl's");
  }
  state.SetBytesProcessed(state.iterations() * rig->bytes());
}

void BM_Part_Md5Memory(benchmark::State& state) {
  Rig* rig = ReadyRig(state);
  if (rig == nullptr) return;
  static const std::string bytes = ReadAll(rig->payload());
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  constexpr std::size_t kPiece = std::size_t{1} << 20;  // md5_append takes an int
  std::array<unsigned char, upd::kMd5DigestBytes> digest{};
  for (auto _ : state) {
    upd::md5_state_s md5;
    upd::md5_init(&md5);
    for (std::size_t done = 0; done < bytes.size(); done += kPiece) {
      upd::md5_append(&md5, data + done, static_cast<int>(std::min(kPiece, bytes.size() - done)));
    }
    upd::md5_finish(&md5, digest.data());
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(state.iterations() * rig->bytes());
}

void BM_Part_HashFile(benchmark::State& state) {
  HashBoth(state, [](const char* path, char* md5, char* sha256) {
    return upd::HashFile(path, md5, sha256) == 1;
  });
}
void BM_Part_TwoReads(benchmark::State& state) {
  HashBoth(state, [](const char* path, char* md5, char* sha256) {
    return upd::MD5Hash(path, md5, upd::kMd5TextSize) == 1 && upd::SHA256Hash(path, sha256) == 1;
  });
}

BENCHMARK(BM_Check_Program)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Check_Library)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Shell_OpenSSL)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Part_OpenSslMd5)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Part_Md5Memory)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Part_HashFile)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Part_TwoReads)->Apply(bench::OneRunPerRepetition);

void PrintSummary(const bench::MedianReporter& reporter) {
  constexpr bench::SummaryLine kLines[] = {
      {"BM_Check_Program", "update-medium check"},
      {"BM_Check_Library", "CheckMedium, in process"},
      {"BM_Shell_OpenSSL", "openssl dgst -md5; openssl dgst -sha256"},
      {"BM_Part_OpenSslMd5", "openssl dgst -md5"},
      {"BM_Part_Md5Memory", "MD5 engine, bytes in memory"},
      {"BM_Part_HashFile", "HashFile, both digests"},
      {"BM_Part_TwoReads", "MD5Hash, then SHA256Hash"},
  };
  bench::PrintMedians(reporter, kLines);
  const auto openssl = reporter.Seconds("BM_Shell_OpenSSL");
  if (!openssl || *openssl <= 0) return;
  std::printf("\nRatios, / openssl dgst -md5; openssl dgst -sha256 (goal: check at most 0.60):\n");
  for (const bench::SummaryLine& line : kLines) {
    const auto seconds = reporter.Seconds(line.name);
    if (seconds && line.name != std::string("BM_Shell_OpenSSL")) {
      std::printf("  %-40s %7.2f\n", line.label, *seconds / *openssl);
    }
  }
  if (const auto check = reporter.Seconds("BM_Check_Program")) {
    std::printf("  goal %s: update-medium check takes %.2f x the openssl sequence\n",
                *check <= 0.60 * *openssl ? "met" : "NOT met", *check / *openssl);
  }
}

}  // namespace

int main(int argc, char** argv) {
  bench::MedianReporter reporter;
  if (!bench::RunInterleaved(argc, argv, reporter)) return 1;
  PrintSummary(reporter);
  benchmark::Shutdown();
  return 0;
}
