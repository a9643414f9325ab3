// What the benchmarks that race our code against the system's tools share:
// running a shell sequence, and the median wall time of repetitions that run
// in random interleaving, so that a busy neighbour on the machine slows every
// candidate alike.
#pragma once

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

/// Runs `script` with /bin/sh, `args` as its positional parameters $1, $2, ...;
/// true when it exits with status 0. posix_spawn rather than fork: copying
/// the page tables of a benchmark that holds a large file in memory would be
/// timed as part of the run.
inline bool RunScript(const char* script, std::initializer_list<std::string> args) {
  std::vector<const char*> argv = {"sh", "-c", script, "sh"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (::posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv.data()),
                    environ) != 0) {
    return false;
  }
  int status = 0;
  while (::waitpid(child, &status, 0) == -1) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/// One run per repetition, on the wall clock: the shell sequences work in
/// child processes, which the CPU time of this one does not see.
inline void OneRunPerRepetition(benchmark::internal::Benchmark* b) {
  b->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
}

/// Console output as usual, plus every repetition's wall time for the medians.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  MedianReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const double seconds =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      Figures& figures = figures_[run.run_name.function_name];
      if (run.run_type == Run::RT_Iteration) {
        figures.seconds.push_back(seconds);
      } else if (run.aggregate_name == "median") {
        figures.reportedMedian = seconds;
        figures.reportedCount = run.iterations;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  /// Median wall seconds of `name` and how many repetitions it is taken
  /// from; nothing when it did not run.
  [[nodiscard]] std::optional<std::pair<double, std::int64_t>> Median(
      const std::string& name) const {
    const auto it = figures_.find(name);
    if (it == figures_.end()) return std::nullopt;
    const Figures& figures = it->second;
    if (figures.seconds.empty()) {
      // The display shows aggregates only: they are all it receives.
      if (figures.reportedCount == 0) return std::nullopt;
      return std::make_pair(figures.reportedMedian, figures.reportedCount);
    }
    std::vector<double> v = figures.seconds;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return std::make_pair(median, static_cast<std::int64_t>(n));
  }

  /// Median wall seconds of `name` alone.
  [[nodiscard]] std::optional<double> Seconds(const std::string& name) const {
    const auto median = Median(name);
    return median ? std::optional<double>(median->first) : std::nullopt;
  }

 private:
  struct Figures {
    std::vector<double> seconds;
    double reportedMedian = 0;
    std::int64_t reportedCount = 0;
  };
  std::map<std::string, Figures> figures_;
};

/// Runs the registered benchmarks through `reporter`, 7 repetitions each in
/// random interleaving unless the command line says otherwise (later flags
/// win). false on an unknown argument. Call benchmark::Shutdown() after.
inline bool RunInterleaved(int argc, char** argv, MedianReporter& reporter) {
  std::string repetitions = "--benchmark_repetitions=7";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::vector<char*> args{argv[0], repetitions.data(), interleave.data()};
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return false;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  return true;
}

/// A benchmark of a summary table and the label it is printed with.
struct SummaryLine {
  const char* name;
  const char* label;
};

/// Prints the median wall time of each line that ran, with its repetitions.
template <std::size_t N>
void PrintMedians(const MedianReporter& reporter, const SummaryLine (&lines)[N]) {
  std::printf("\nMedian wall time, seconds (repetitions):\n");
  for (const SummaryLine& line : lines) {
    if (const auto median = reporter.Median(line.name)) {
      std::printf("  %-40s %7.3f  (%lld)\n", line.label, median->first,
                  static_cast<long long>(median->second));
    }
  }
}

}  // namespace bench
