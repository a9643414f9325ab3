#include "medium/check.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/error_codes.h"
#include "common/instrument_paths.h"
#include "driver/signature_gate.h"
#include "driver/startup.h"
#include "fileutil/entries.h"
#include "manifest/reader.h"
#include "manifest/sequence.h"
#include "manifest/store.h"
#include "medium/check_steps.h"
#include "medium/findings.h"
#include "medium/medium_paths.h"

namespace upd::medium {

namespace {

constexpr const char kListSection[] = "SectionList";
constexpr const char kSequenceKey[] = "Sequence";

std::string ReadFailureText(const ManifestReadError& error) {
  switch (error.failure) {
    case ManifestReadFailure::kTooLarge:
      return "the manifest has " + std::to_string(error.bytes) + " bytes; at most " +
             std::to_string(kMaxManifestBytes);
    case ManifestReadFailure::kCannotOpen:
      return "the manifest cannot be opened";
    case ManifestReadFailure::kOverLongLine:
      return "the line has more than 255 characters (and is no comment)";
    case ManifestReadFailure::kReadError:
      return "the manifest cannot be read";
    case ManifestReadFailure::kEntryBeforeHeader:
      return "an entry before the first section header";
    case ManifestReadFailure::kNoMemory:
      return "out of memory";
    case ManifestReadFailure::kBadName:
      return "the line cannot be split into name and value";
    case ManifestReadFailure::kNone:
      break;
  }
  return "the manifest cannot be read";
}

std::string GateText(GateStep step, const CheckOptions& options) {
  switch (step) {
    case GateStep::kKeyHandle:
      return "signature check: no key handle could be made";
    case GateStep::kPublicKey:
      return "signature check: " + options.keyPath + " holds no RSA public key (PEM)";
    case GateStep::kSignature:
      return "signature check: the signature " + SignatureFile(options.medium) + " cannot be read";
    case GateStep::kManifest:
      return "signature check: the manifest's bytes cannot be read";
    case GateStep::kVerify:
      return "signature check: the signature does not verify with " + options.keyPath +
             " (another key, or the manifest changed after signing)";
    case GateStep::kParse:
      return "signature check: the signed bytes cannot be read as a manifest";
    case GateStep::kPassed:
      break;
  }
  return "signature check failed";
}

// Sections and keys that lookups never reach: the instrument reads the first.
void CheckRepeats(Findings& findings) {
  for (const AuxSection* s = aux_Section; s != nullptr; s = s->next) {
    const AuxSection* first = FindAuxSection(s->name);
    if (first != s) {
      findings.Warning(s->line, s->name,
                       "repeats the section of line " + std::to_string(first->line) +
                           ": the instrument reads only that one");
      continue;
    }
    for (const AuxEntry* e = s->entries; e != nullptr; e = e->next) {
      const AuxEntry* firstEntry = FindAuxEntry(s->name, e->name);
      if (firstEntry == e) continue;
      findings.Warning(e->line, s->name,
                       std::string(e->name) + " repeats the entry of line " +
                           std::to_string(firstEntry->line) +
                           ": the instrument reads only that one");
    }
  }
}

std::string SequenceText(const SequenceTrace& trace) {
  // A cycle is named from the first time its group was met.
  auto from = trace.groups.begin();
  if (trace.failure == SequenceFailure::kCycle) {
    from = std::find(trace.groups.begin(), trace.groups.end(), trace.groups.back());
  }
  std::string groups;
  for (auto g = from; g != trace.groups.end(); ++g) groups += (groups.empty() ? "" : " -> ") + *g;
  switch (trace.failure) {
    case SequenceFailure::kListTooLong:
      return "the list of " + trace.groups.back() + " has more than " +
             std::to_string(kGroupListSize - 1) + " characters";
    case SequenceFailure::kEmptyList:
      return "the list of " + trace.groups.back() + " is empty";
    case SequenceFailure::kCycle:
      return "the groups form a cycle: " + groups;
    case SequenceFailure::kTooDeep:
      return "groups nest deeper than " + std::to_string(kMaxGroupDepth) + " levels: " + groups;
    case SequenceFailure::kTooManySteps:
      return "the sequence has more than " + std::to_string(kMaxSteps) + " steps";
    case SequenceFailure::kNoMemory:
      return "out of memory";
    case SequenceFailure::kBadArgument:
    case SequenceFailure::kNone:
      break;
  }
  return "the sequence cannot be built";
}

// The line of the group entry where the expansion stopped.
int SequenceLine(const SequenceTrace& trace) {
  const std::size_t n = trace.groups.size();
  if (n == 0) return 0;
  // A cycle and a nesting too deep are closed by the entry of the group before
  // the last name; the other failures lie in the last group's own entry.
  const bool byParent =
      trace.failure == SequenceFailure::kCycle || trace.failure == SequenceFailure::kTooDeep;
  const std::string& group = byParent && n >= 2 ? trace.groups[n - 2] : trace.groups[n - 1];
  const AuxEntry* entry = FindAuxEntry(kListSection, group.c_str());
  return entry != nullptr ? entry->line : 0;
}

struct SectionListGuard {
  Section* head = nullptr;
  ~SectionListGuard() { FreeSectionList(&head); }
};

struct StoreGuard {
  ~StoreGuard() { FreeAuxInfo(); }
};

int Finish(const Findings& findings, std::FILE* out) {
  std::fprintf(out, "%d error%s, %d warning%s\n", findings.errors(),
               findings.errors() == 1 ? "" : "s", findings.warnings(),
               findings.warnings() == 1 ? "" : "s");
  return findings.errors() == 0 ? 0 : 1;
}

// The manifest, or 610 when the instrument could not read it; nothing on the
// medium is opened before it is known to be a file.
bool ReadManifest(StepContext& ctx) {
  const auto file = LookAtMedium(ctx.options.medium, kManifestPath);
  if (file->state != MediumState::kFile) {
    ctx.findings.Error(0, kErrManifestRead, "", "the manifest" + NotAFileText(*file));
    if (file->state == MediumState::kUnreadable) ctx.named.insert(file->odd);
    return false;
  }
  ManifestReadError readError;
  if (ReadAuxInfo(file->host.c_str(), &readError) == 0) {
    ctx.findings.Error(readError.line, kErrManifestRead, "", ReadFailureText(readError));
    return false;
  }
  return true;
}

void CheckSignature(StepContext& ctx) {
  const CheckOptions& options = ctx.options;
  const auto signature = LookAtMedium(options.medium, kSignaturePath);
  if (signature->state == MediumState::kUnreadable) {
    ctx.findings.Error(0, kErrSignature, "",
                       "signature check: the signature" + NotAFileText(*signature));
    ctx.named.insert(signature->odd);
    return;
  }
  const GateStep step = VerifyManifest(options.keyPath.c_str(), signature->host.c_str(),
                                       ManifestFile(options.medium).c_str());
  if (step != GateStep::kPassed) ctx.findings.Error(0, kErrSignature, "", GateText(step, options));
}

// Reads and expands the manifest and checks each step, as a run would; adds a
// line per step to `lines`. False when the run would end before its steps.
bool CheckManifest(StepContext& ctx, std::vector<std::string>& lines) {
  FreeAuxInfo();
  const StoreGuard store;
  if (!ReadManifest(ctx)) return false;
  CheckRepeats(ctx.findings);
  if (!ctx.options.keyPath.empty()) CheckSignature(ctx);

  SectionListGuard steps;
  SequenceTrace trace;
  if (BuildSectionList(kListSection, kSequenceKey, &steps.head, &trace) == 0) {
    ctx.findings.Error(SequenceLine(trace), kErrSequence, kListSection, SequenceText(trace));
    return false;
  }
  std::size_t index = 0;
  for (const Section* s = steps.head; s != nullptr; s = s->next, ++index) {
    const std::string& group = trace.stepGroups[index];
    const AuxEntry* listedBy = group.empty() ? nullptr : FindAuxEntry(kListSection, group.c_str());
    const int listedAt = listedBy != nullptr ? listedBy->line : 0;
    const StepPlan plan = CheckStep(ctx, s->name, listedAt);
    std::string line = std::to_string(index + 1) + ". " + s->name;
    if (!plan.operation.empty()) line += " (" + plan.operation + ")";
    lines.push_back(line + ": " + plan.action);
  }
  return true;
}

// The stick is vfat: every link, FIFO, device or socket in the medium folder
// is an error, unless a step's error has named it already.
void CheckMediumEntries(StepContext& ctx) {
  const std::string& medium = ctx.options.medium;
  const int listed =
      WalkEntries(medium.c_str(), [&ctx, &medium](const std::string& relative, EntryKind kind) {
        if (kind == EntryKind::kFile || kind == EntryKind::kFolder) return;
        const std::string host = medium + "/" + relative;
        if (ctx.named.contains(host)) return;
        ctx.findings.FileError(host, std::string(EntryKindText(kind)) +
                                         ", which a vfat stick cannot hold: the instrument cannot "
                                         "read it");
      });
  if (listed == 0) {
    ctx.findings.FileError(medium, "a folder in it cannot be listed: what it holds is unchecked");
  }
}

}  // namespace

int CheckMedium(const CheckOptions& options, std::FILE* out) {
  Findings findings;
  StepContext ctx{options, findings, NewUpdateInfo(), false};
  if (!options.timestamp.empty()) {
    std::snprintf(ctx.info.timestamp, sizeof ctx.info.timestamp, "%s", options.timestamp.c_str());
    ctx.info.flags |= UPD_TIMESTAMP_SET;
  }
  if (options.force) ctx.info.flags |= UPD_FORCE;

  std::vector<std::string> lines;
  const bool stepsChecked = CheckManifest(ctx, lines);
  CheckMediumEntries(ctx);
  findings.Print(out);
  if (!stepsChecked) return Finish(findings, out);
  std::fprintf(out, "%sSteps in run order:\n",
               findings.errors() + findings.warnings() > 0 ? "\n" : "");
  for (const std::string& line : lines) std::fprintf(out, "  %s\n", line.c_str());
  std::fprintf(out, "  Then: unmount the medium, ask for it to be removed, and %s.\n\n",
               ctx.reboot ? "reboot" : "restart the main application");
  return Finish(findings, out);
}

}  // namespace upd::medium
