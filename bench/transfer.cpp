// Installing one large file through TransferFile on a simulated instrument,
// beside two shell sequences that do the same work with the system's tools:
//
//   coreutils  cp SRC DST; sync; md5sum DST; sha256sum DST
//   openssl    cp SRC DST; sync; openssl dgst -md5 DST; openssl dgst -sha256 DST
//
// Goal: TransferFile at most 1.1 times the faster sequence. Two parts are timed
// on their own as well, to show where a difference comes from: CopyFile with
// its sync against "cp; sync", and the digests of the installed copy.
//
//   bench_transfer [benchmark options]
//
// Everything is timed on the wall clock, since the shell sequences work in
// child processes. One repetition is one install; by default 7 repetitions of
// each benchmark run in random interleaving, so that a busy neighbour on the
// machine slows every candidate alike, and the medians are compared at the end.
//
// Like for like: on the instrument the sync that ends every CopyFile is
// sync(2), but the simulated instrument only records it. The platform
// installed here forwards to the simulation and then calls ::sync() itself, at
// the point where the instrument would; the shell sequences run the sync
// program at the same place. All copies are written to one file system, in a
// temporary directory, and start from a page-cached source.
//
// The file installed is UPD_BENCH_FILE when set (the comparison script passes
// the file it times the tools on), else 256 MiB of random bytes. The simulated
// instrument, its medium and the shell's copies live in a fresh temporary
// directory that is removed at the end.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/instrument_paths.h"
#include "common/update_info.h"
#include "fileutil/fileops.h"
#include "integrity/md5.h"
#include "integrity/sha256.h"
#include "manifest/store.h"
#include "operations/transfer.h"
#include "platform/forwarding.h"
#include "platform/platform.h"
#include "sim/instrument.h"
#include "sim/sim_platform.h"
#include "wall_clock.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunkBytes = std::size_t{16} << 20;
constexpr std::size_t kFileBytes = std::size_t{256} << 20;

constexpr const char kSection[] = "[Payload]";
constexpr const char kSourceDir[] = "/mnt/firmware";
constexpr const char kSourceFile[] = "payload.bin";
constexpr const char kInterimFile[] = "payload.new";
constexpr const char kDestDir[] = "/home/Corvenal/bin";
constexpr const char kDestFile[] = "payload";
constexpr const char kBackupFile[] = "payload.bak";
// Where CopyFile and the shell sequences write their copies on the instrument.
constexpr const char kCopyOnly[] = "/home/Corvenal/download/copy-only.bin";
constexpr const char kShellCopy[] = "/home/Corvenal/download/shell-copy.bin";

// $1 the source, $2 the copy, $3 the file that receives the digests.
constexpr const char kCpSync[] = R"(cp "$1" "$2" && sync)";
constexpr const char kCoreutils[] =
    R"(cp "$1" "$2" && sync && md5sum "$2" >"$3" && sha256sum "$2" >>"$3")";
constexpr const char kOpenSsl[] =
    R"(cp "$1" "$2" && sync && openssl dgst -md5 "$2" >"$3" && openssl dgst -sha256 "$2" >>"$3")";

// The simulated instrument, except that a sync reaches the host's disks as it
// would reach the instrument's. The simulation is a base of its own so that it
// exists before the forwarding part refers to it.
struct OwnedSim {
  explicit OwnedSim(upd::sim::Instrument instrument)
      : sim(std::move(instrument), upd::sim::CommandMode::kRecord) {}
  upd::sim::SimPlatform sim;
};

class SyncingPlatform final : private OwnedSim, public upd::platform::ForwardingPlatform {
 public:
  explicit SyncingPlatform(upd::sim::Instrument instrument)
      : OwnedSim(std::move(instrument)), ForwardingPlatform(sim) {}

  void Sync() override {
    inner_.Sync();
    ::sync();
  }
};

std::string LowerHex(const unsigned char* bytes, unsigned n) {
  std::string text;
  constexpr char kDigits[] = "0123456789abcdef";
  for (unsigned i = 0; i < n; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0f];
  }
  return text;
}

// MD5 and SHA-256 texts of the file at `path`, by OpenSSL rather than by the
// code under test; empty texts when the file cannot be read.
std::pair<std::string, std::string> ReferenceDigests(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md5(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> sha(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!in || !md5 || !sha || EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestInit_ex(sha.get(), EVP_sha256(), nullptr) != 1) {
    return {};
  }
  std::vector<char> chunk(std::size_t{1} << 20);
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    const auto got = static_cast<std::size_t>(in.gcount());
    EVP_DigestUpdate(md5.get(), chunk.data(), got);
    EVP_DigestUpdate(sha.get(), chunk.data(), got);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  EVP_DigestFinal_ex(md5.get(), digest, &length);
  std::string md5Text = LowerHex(digest, length);
  EVP_DigestFinal_ex(sha.get(), digest, &length);
  return {md5Text, LowerHex(digest, length)};
}

bool WriteRandomFile(const std::string& path, std::size_t bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<char> chunk(kChunkBytes);
  std::mt19937_64 rng(4271);
  for (std::size_t i = 0; i + 8 <= chunk.size(); i += 8) {
    const std::uint64_t word = rng();
    std::memcpy(chunk.data() + i, &word, 8);
  }
  for (std::size_t done = 0; done < bytes; done += chunk.size()) {
    out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), bytes - done)));
  }
  return static_cast<bool>(out.flush());
}

// A simulated instrument with the medium mounted, the platform installed and a
// manifest section that installs the medium's payload; set up on first use.
class Rig {
 public:
  Rig() { error_ = SetUp(); }
  ~Rig() {
    upd::FreeAuxInfo();
    installed_.reset();
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
  [[nodiscard]] const std::string& payload() const { return payload_; }
  [[nodiscard]] std::string Host(const char* path) const { return instrument_->Host(path); }
  [[nodiscard]] std::string ShellOutput() const { return work_ + "/shell-digests.txt"; }

  /// One install through TransferFile; 0 or the code it failed with.
  [[nodiscard]] int Install() const {
    upd::UpdateInfo info{};
    return upd::TransferFile(kSection, &info) == 1 ? 0 : info.error;
  }

  /// True when the text holds both digests of the payload.
  [[nodiscard]] bool HasDigests(const std::string& text) const {
    return text.find(md5_) != std::string::npos && text.find(sha256_) != std::string::npos;
  }

 private:
  std::string SetUp() {
    std::string dir = (fs::temp_directory_path() / "bench-transfer-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) return "cannot make a temporary directory";
    work_ = dir;

    const std::string medium = work_ + "/medium";
    const std::string onMedium = medium + "/firmware/" + kSourceFile;
    std::error_code ec;
    fs::create_directories(medium + "/firmware", ec);
    if (ec) return "cannot make the medium";
    if (const char* given = std::getenv("UPD_BENCH_FILE"); given != nullptr && *given != '\0') {
      payload_ = fs::absolute(given, ec).string();
      fs::create_symlink(payload_, onMedium, ec);
      if (ec) return "cannot link " + payload_ + " onto the medium";
    } else {
      payload_ = onMedium;
      if (!WriteRandomFile(payload_, kFileBytes)) return "cannot write " + payload_;
    }
    bytes_ = static_cast<std::int64_t>(fs::file_size(payload_, ec));
    if (ec || bytes_ == 0) return "no payload at " + payload_;
    // Reading the payload for its digests also puts it in the page cache.
    std::tie(md5_, sha256_) = ReferenceDigests(payload_);
    if (md5_.empty()) return "cannot read " + payload_;

    const std::string root = work_ + "/instrument";
    if (const std::string why = upd::sim::Instrument::Init(root); !why.empty()) return why;
    instrument_ = upd::sim::Instrument::Open(root);
    if (!instrument_) return "cannot open the simulated instrument";
    fs::create_directories(instrument_->Host(upd::kDownloadDir), ec);
    if (const std::string why = instrument_->Plug(medium, 1, upd::kDefaultDevice); !why.empty()) {
      return why;
    }
    platform_ = std::make_unique<SyncingPlatform>(*instrument_);
    installed_.emplace(*platform_);
    if (upd::platform::Current().Mount(upd::kDefaultDevice, upd::kMountPoint, upd::kMediumFsType,
                                       MS_NOEXEC) != 0) {
      return "cannot mount the medium";
    }

    upd::AuxListBuilder builder;
    const std::pair<const char*, std::string> entries[] = {
        {"Operation", "TransferFile"}, {"SrcDir", kSourceDir},
        {"SrcFile", kSourceFile},      {"InterimDir", upd::kDownloadDir},
        {"InterimFile", kInterimFile}, {"DestDir", kDestDir},
        {"DestFile", kDestFile},       {"BackupDir", kDestDir},
        {"BackupFile", kBackupFile},   {"MD5Hash", md5_},
        {"SHA256Hash", sha256_},       {"DestNoExist", "true"},
    };
    if (builder.AddSection(kSection) != 1) return "out of memory";
    for (const auto& [key, value] : entries) {
      if (builder.AddEntry(key, value) != 1) return "out of memory";
    }
    upd::InstallAuxInfo(builder.Release());

    // Every timed run then replaces files that exist, as a repeated update
    // does: TransferFile removes the old backup (the second install makes
    // one), cp and CopyFile truncate their earlier copy.
    for (int i = 0; i < 2; ++i) {
      if (const int code = Install(); code != 0) {
        return "TransferFile failed with " + std::to_string(code);
      }
    }
    const std::string source = kSourceDir + std::string("/") + kSourceFile;
    if (upd::CopyFile(source.c_str(), kCopyOnly) != 1 ||
        !bench::RunScript(kCpSync, {payload_, Host(kShellCopy), ShellOutput()})) {
      return "cannot make the first copies";
    }
    // Nothing written during set-up is left for a timed sync to flush.
    ::sync();
    return {};
  }

  std::string work_;
  std::string payload_;
  std::int64_t bytes_ = 0;
  std::string md5_;
  std::string sha256_;
  std::optional<upd::sim::Instrument> instrument_;
  std::unique_ptr<SyncingPlatform> platform_;
  std::optional<upd::platform::ScopedPlatform> installed_;  // after platform_: goes first
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

void BM_TransferFile(benchmark::State& state) {
  Rig* rig = ReadyRig(state);
  if (rig == nullptr) return;
  for (auto _ : state) {
    if (const int code = rig->Install(); code != 0) {
      state.SkipWithError(("TransferFile failed with " + std::to_string(code)).c_str());
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * rig->bytes());
}

void RunSequence(benchmark::State& state, const char* script, bool digests) {
  Rig* rig = ReadyRig(state);
  if (rig == nullptr) return;
  const std::string copy = rig->Host(kShellCopy);
  for (auto _ : state) {
    if (!bench::RunScript(script, {rig->payload(), copy, rig->ShellOutput()})) {
      state.SkipWithError("the shell sequence failed");
      break;
    }
  }
  if (digests) {
    std::ifstream in(rig->ShellOutput());
    std::stringstream text;
    text << in.rdbuf();
    if (!rig->HasDigests(text.str())) state.SkipWithError("the tools' digests differ");
  }
  state.SetBytesProcessed(state.iterations() * rig->bytes());
}

void BM_Shell_Coreutils(benchmark::State& state) {
  RunSequence(state, kCoreutils, true);
}
void BM_Shell_OpenSSL(benchmark::State& state) {
  RunSequence(state, kOpenSsl, true);
}

// The parts: the copy with its sync, and the two digests of the installed file.
void BM_Part_CopyFileSync(benchmark::State& state) {
  Rig* rig = ReadyRig(state);
  if (rig == nullptr) return;
  const std::string source = kSourceDir + std::string("/") + kSourceFile;
  for (auto _ : state) {
    if (upd::CopyFile(source.c_str(), kCopyOnly) != 1) {
      state.SkipWithError("CopyFile failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * rig->bytes());
}
void BM_Part_CpSync(benchmark::State& state) {
  RunSequence(state, kCpSync, false);
}
void BM_Part_Md5Sha256Hash(benchmark::State& state) {
  Rig* rig = ReadyRig(state);
  if (rig == nullptr) return;
  const std::string installed = kDestDir + std::string("/") + kDestFile;
  char md5[upd::kMd5TextSize] = {};
  char sha256[upd::kSha256TextSize] = {};
  for (auto _ : state) {
    if (upd::MD5Hash(installed.c_str(), md5, upd::kMd5TextSize) != 1 ||
        upd::SHA256Hash(installed.c_str(), sha256) != 1) {
      state.SkipWithError("digest failed");
      break;
    }
  }
  if (!rig->HasDigests(std::string(md5) + ' ' + sha256)) state.SkipWithError("digests differ");
  state.SetBytesProcessed(state.iterations() * rig->bytes());
}

BENCHMARK(BM_TransferFile)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Shell_Coreutils)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Shell_OpenSSL)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Part_CopyFileSync)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Part_CpSync)->Apply(bench::OneRunPerRepetition);
BENCHMARK(BM_Part_Md5Sha256Hash)->Apply(bench::OneRunPerRepetition);

void PrintSummary(const bench::MedianReporter& reporter) {
  constexpr bench::SummaryLine kLines[] = {
      {"BM_TransferFile", "TransferFile"},
      {"BM_Shell_Coreutils", "cp, sync, md5sum, sha256sum"},
      {"BM_Shell_OpenSSL", "cp, sync, openssl dgst -md5, -sha256"},
      {"BM_Part_CopyFileSync", "CopyFile with sync(2)"},
      {"BM_Part_CpSync", "cp, sync"},
      {"BM_Part_Md5Sha256Hash", "MD5Hash and SHA256Hash"},
  };
  bench::PrintMedians(reporter, kLines);
  const auto ours = reporter.Seconds("BM_TransferFile");
  const auto coreutils = reporter.Seconds("BM_Shell_Coreutils");
  const auto openssl = reporter.Seconds("BM_Shell_OpenSSL");
  if (!ours) return;
  std::printf("\nRatios, TransferFile / shell sequence (goal: at most 1.10 x the faster):\n");
  if (coreutils)
    std::printf("  %-40s %7.2f\n", "/ cp, sync, md5sum, sha256sum", *ours / *coreutils);
  if (openssl) std::printf("  %-40s %7.2f\n", "/ cp, sync, openssl dgst", *ours / *openssl);
  if (coreutils && openssl) {
    const double faster = std::min(*coreutils, *openssl);
    std::printf("  goal %s: %.2f x the faster sequence\n",
                *ours <= 1.10 * faster ? "met" : "NOT met", *ours / faster);
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
