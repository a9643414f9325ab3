#include "medium/check_steps.h"

#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/error_codes.h"
#include "manifest/store.h"
#include "medium/check_digests.h"
#include "medium/check_keys.h"
#include "medium/medium_paths.h"
#include "operations/operations.h"
#include "strutil/strcompare.h"

namespace upd::medium {

namespace {

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

std::string CheckBackupFiles(StepContext& ctx, const char* section) {
  std::vector<KeyRule> rules;
  for (const BackupKey& key : kBackupKeys) rules.push_back(key.rule);
  const auto values = ReadKeys(ctx, section, rules, KeyOrder::kValuesFirst);
  if (!values) return "stops (above)";
  std::vector<std::string> dirs;
  for (std::size_t i = 0; i < kBackupKeys.size(); ++i) {
    if (!kBackupKeys[i].isDestination) continue;
    const char* name = kBackupKeys[i].rule.name;
    if ((*values)[i].empty()) {
      const bool absent = FindAuxEntry(section, name) == nullptr;
      ctx.findings.Error(EntryLine(section, name), kErrMakeDirectory, section,
                         std::string(name) + (absent ? " is missing" : " is empty") +
                             ": a directory without a name cannot be created");
    }
    dirs.push_back((*values)[i]);
  }
  return "create " + Join(dirs) + " where missing";
}

std::string CheckMsp430(StepContext& ctx, const char* section) {
  const auto c = ReadKeys(ctx, section, kMsp430Keys, KeyOrder::kInTurn);
  if (!c) return "stops (above)";
  // The file the commands program, when the section names it for its digests.
  const AuxEntry* named = FindAuxEntry(section, "DataPath1");
  const DataFile data{"DataPath1", named != nullptr ? named->value : "",
                      EntryLine(section, "DataPath1")};
  const bool covered = CheckDataDigests(ctx, section, data, kErrMspDigest);
  // Unverified, the file is only a word of the commands, which are warned about.
  WarnUncovered(ctx, section, covered ? std::optional(data) : std::nullopt, covered,
                {"CommandJTAG", "Command1", "Command2"});
  return "run '" + (*c)[0] + "' (it must succeed), then '" + (*c)[1] + "', falling back to '" +
         (*c)[2] + "' (twice)";
}

std::string CheckFlash(StepContext& ctx, const char* section) {
  const auto v = ReadKeys(ctx, section, kFlashKeys, KeyOrder::kValuesFirst);
  if (!v) return "stops (above)";
  const std::string& data = (*v)[kFlashDataPath];
  const DataFile file{"DataPath1", data, EntryLine(section, "DataPath1")};
  const bool covered = CheckDataDigests(ctx, section, file, kErrFlashDigest);
  if (const auto found = LookAtMedium(ctx.options.medium, data);
      !covered && found && found->state != MediumState::kFile) {
    ctx.findings.Warning(file.line, section,
                         "DataPath1 " + data + NotAFileText(*found) +
                             ": the flashing command is run anyway, and its failure is 640");
  }
  WarnUncovered(ctx, section, file, covered, {"EraseCommand", "WriteCommand"});
  char command[kFlashCommandSize] = {};
  ComposeFlashCommand(command, (*v)[kFlashWrite].c_str(), data.c_str(), (*v)[kFlashDevice].c_str());
  return "run '" + std::string(command) + "'";
}

// "file" followed by digits only.
bool LooksLikeFileKey(const char* name) {
  if (std::strncmp(name, "file", 4) != 0 || name[4] == '\0') return false;
  for (const char* p = name + 4; *p != '\0'; ++p) {
    if (std::isdigit(static_cast<unsigned char>(*p)) == 0) return false;
  }
  return true;
}

std::string CheckRemoveFiles(StepContext& ctx, const char* section) {
  std::vector<std::string> files;
  std::unordered_set<std::string> keys;  // a set: a section may list very many files
  char key[kRemoveFilesKeySize] = {};
  for (int n = 1;; ++n) {
    RemoveFilesKey(key, n);
    const KeyRule rule = RemoveFilesRule(key);
    std::string value(static_cast<std::size_t>(rule.size), '\0');
    const KeyState state = LookUpKey(section, rule, value.data());
    if (state == KeyState::kAbsent) break;
    if (state == KeyState::kTooLong) {
      ctx.findings.Error(
          EntryLine(section, key), rule.tooLongCode, section,
          std::string(key) + " has more than " + std::to_string(rule.size - 1) + " characters");
      return "stops (above)";
    }
    keys.emplace(key);
    files.emplace_back(value.c_str());
  }
  // `key` now names the first number missing: the list ends before it.
  for (const AuxEntry* e = FindAuxSection(section)->entries; e != nullptr; e = e->next) {
    if (!LooksLikeFileKey(e->name) || keys.contains(e->name)) {
      continue;
    }
    ctx.findings.Warning(e->line, section,
                         std::string(e->name) +
                             " is never read: the list is read from file1 up "
                             "to the first number missing, " +
                             key);
  }
  return files.empty() ? "nothing (no file1)" : "remove " + Join(files) + " where they exist";
}

// Passed over by the runner: says why, and how a near miss would have been meant.
std::string UnknownOperation(StepContext& ctx, const char* section, const char* operation) {
  const int line = EntryLine(section, "Operation");
  for (const Operation& known : kOperations) {
    if (str::EqualFolded(operation, known.name)) {
      ctx.findings.Warning(line, section,
                           "Operation '" + std::string(operation) + "' differs from '" +
                               std::string(known.name) +
                               "' only in letter case: the instrument passes the step over");
      return "nothing (passed over)";
    }
  }
  ctx.findings.Warning(line, section,
                       "Operation '" + std::string(operation) +
                           "' is none the instrument knows: it passes the step over");
  return "nothing (passed over)";
}

}  // namespace

StepPlan CheckStep(StepContext& ctx, const char* section, int listedAt) {
  if (FindAuxSection(section) == nullptr) {
    ctx.findings.Warning(listedAt, section,
                         "no section of this name: the instrument passes the step over");
    return {"", "nothing (no such section)"};
  }
  char operation[kOperationRule.size] = {};
  const KeyState state = LookUpKey(section, kOperationRule, operation);
  if (state == KeyState::kTooLong) {
    const AuxEntry* entry = FindAuxEntry(section, kOperationRule.name);
    ctx.findings.Error(entry->line, kOperationRule.tooLongCode, section,
                       "Operation has " + std::to_string(std::strlen(entry->value)) +
                           " characters; at most " + std::to_string(kOperationRule.size - 1) +
                           " fit, and the run aborts");
    return {"", "aborts the run (above)"};
  }
  if (state == KeyState::kAbsent) {
    ctx.findings.Warning(SectionLine(section), section,
                         "no Operation entry: the instrument passes the step over");
    return {"", "nothing (no Operation)"};
  }
  const Operation* op = FindOperation(operation);
  if (op == nullptr) return {operation, UnknownOperation(ctx, section, operation)};
  switch (op->kind) {
    case OperationKind::kTransferFile: {
      StepPlan plan{operation, CheckTransfer(ctx, section)};
      WarnUncovered(ctx, section, std::nullopt, true, {});
      return plan;
    }
    case OperationKind::kConfigUpdate:
      return {operation, CheckConfigUpdate(ctx, section)};
    case OperationKind::kMsp430Update:
      return {operation, CheckMsp430(ctx, section)};
    case OperationKind::kFlashUpdate:
      return {operation, CheckFlash(ctx, section)};
    case OperationKind::kReboot:
      ctx.reboot = true;
      return {operation, "reboot at the end, once the stick has been removed"};
    case OperationKind::kRemoveFiles:
      return {operation, CheckRemoveFiles(ctx, section)};
    case OperationKind::kBackupFiles:
      return {operation, CheckBackupFiles(ctx, section)};
  }
  return {operation, ""};
}

}  // namespace upd::medium
