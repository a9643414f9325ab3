#include "medium/medium_main.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/update_info.h"
#include "driver/build_info.h"
#include "fileutil/entries.h"
#include "fileutil/fileops.h"
#include "medium/check.h"
#include "medium/code_formats.h"
#include "medium/code_reference.h"
#include "medium/digests.h"
#include "medium/medium_paths.h"
#include "operations/timestamp.h"

namespace upd::medium {

namespace {

constexpr const char kUsage[] =
    "usage: update-medium check MEDIUM [--key PUBLIC.pem] [--timestamp \"YYYY-MM-DD HH:MM:SS\"] "
    "[--force]\n"
    "       update-medium digests MEDIUM\n"
    "       update-medium explain [CODE]\n"
    "       update-medium --version\n";

int BadUse(const std::string& message) {
  std::fprintf(stderr, "update-medium: %s\n", message.c_str());
  return kExitBadUse;
}

bool IsFolder(const std::string& path) {
  // A folder exists and is not a regular file; the manifest inside is looked
  // at by the commands themselves.
  return exists(path.c_str()) != 0 && isord(path.c_str()) == 0;
}

// "" when MEDIUM can be worked on, else what is wrong with it. A manifest
// that is there but cannot be read is a finding of the command, not bad use.
std::string MediumProblem(const std::string& medium) {
  if (!IsFolder(medium)) return medium + " is not a folder";
  const std::string manifest = ManifestFile(medium);
  if (EntryKindOf(manifest.c_str()) == EntryKind::kNone) {
    return "no manifest " + manifest + " (MEDIUM is the folder that holds firmware/AuxInfo.txt)";
  }
  return {};
}

int Check(const std::vector<std::string_view>& args) {
  CheckOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--force") {
      options.force = true;
    } else if (arg == "--key" || arg == "--timestamp") {
      if (!hasValue) return BadUse(std::string(arg) + " needs a value");
      (arg == "--key" ? options.keyPath : options.timestamp) = args[++i];
    } else if (!arg.empty() && arg.front() == '-') {
      return BadUse("check: unknown option " + std::string(arg));
    } else if (options.medium.empty()) {
      options.medium = arg;
    } else {
      return BadUse("check takes one MEDIUM");
    }
  }
  if (options.medium.empty()) return BadUse("check needs MEDIUM");
  if (const std::string problem = MediumProblem(options.medium); !problem.empty()) {
    return BadUse(problem);
  }
  // The key is the engineer's own file: links are followed, but nothing that
  // is not a file is opened (a FIFO would block).
  if (!options.keyPath.empty() && exists(options.keyPath.c_str()) == 0) {
    return BadUse("--key " + options.keyPath + ": no such file");
  }
  if (!options.keyPath.empty() && isord(options.keyPath.c_str()) == 0) {
    return BadUse("--key " + options.keyPath + " is not a file");
  }
  if (!options.timestamp.empty()) {
    // The instrument refuses a longer -t value (621) before it looks at anything.
    std::int32_t seconds = 0;
    if (options.timestamp.size() >= static_cast<std::size_t>(kTimestampSize) ||
        ConvertTimeStamp(options.timestamp.c_str(), &seconds) == 0) {
      return BadUse("--timestamp '" + options.timestamp +
                    "' is not a build timestamp (YYYY-MM-DD HH:MM:SS)");
    }
  }
  return CheckMedium(options, stdout);
}

int Digests(const std::vector<std::string_view>& args) {
  if (args.size() != 1) return BadUse("digests takes one argument: MEDIUM");
  const std::string medium(args[0]);
  if (const std::string problem = MediumProblem(medium); !problem.empty()) return BadUse(problem);
  return WriteDigests(medium, stdout);
}

// Without CODE every code; --markdown and --roff are the forms that
// scripts/gen_docs.sh puts into README.md and man/update.8.
int Explain(const std::vector<std::string_view>& args) {
  if (args.size() > 1) return BadUse("explain takes one CODE, or none for every code");
  const std::string_view arg = args.empty() ? std::string_view() : args[0];
  if (args.empty() || arg == "--markdown" || arg == "--roff") {
    CodeFormat format = CodeFormat::kText;
    if (arg == "--markdown") format = CodeFormat::kMarkdown;
    if (arg == "--roff") format = CodeFormat::kRoff;
    std::fputs(CodeReferenceIn(format).c_str(), stdout);
    return 0;
  }
  int code = 0;
  const char* end = arg.data() + arg.size();
  if (const auto [stop, ec] = std::from_chars(arg.data(), end, code);
      ec != std::errc() || stop != end) {
    return BadUse("explain: '" + std::string(arg) + "' is not a code (a number such as 654)");
  }
  const CodeEntry* entry = FindCode(code);
  if (entry == nullptr) {
    return BadUse("explain: the updater has no code " + std::to_string(code) +
                  " (update-medium explain lists them all)");
  }
  std::fputs(CodeText(*entry).c_str(), stdout);
  return 0;
}

}  // namespace

int MediumMain(int argc, char** argv) {
  if (argc < 2) return BadUse("no command (check, digests or explain; --help shows usage)");
  const std::string_view command = argv[1];
  const std::vector<std::string_view> args(argv + 2, argv + argc);
  if (command == "-h" || command == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("update-medium %s\n", kReleaseVersion);
    return 0;
  }
  if (command == "check") return Check(args);
  if (command == "digests") return Digests(args);
  if (command == "explain") return Explain(args);
  return BadUse("unknown command '" + std::string(command) + "' (check, digests, explain)");
}

}  // namespace upd::medium
