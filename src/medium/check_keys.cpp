#include "medium/check_keys.h"

#include <cstring>

#include "manifest/store.h"

namespace upd::medium {

int SectionLine(const char* section) {
  const AuxSection* s = FindAuxSection(section);
  return s != nullptr ? s->line : 0;
}

int EntryLine(const char* section, const char* key) {
  const AuxEntry* e = FindAuxEntry(section, key);
  return e != nullptr ? e->line : SectionLine(section);
}

namespace {

// Reports a value problem of `rule`; false when there was none.
bool ValueProblem(StepContext& ctx, const char* section, const KeyRule& rule, KeyState state) {
  const AuxEntry* entry = FindAuxEntry(section, rule.name);
  if (entry == nullptr) return false;
  const std::string name = rule.name;
  if (state == KeyState::kTooLong) {
    ctx.findings.Error(entry->line, rule.tooLongCode, section,
                       name + " has " + std::to_string(std::strlen(entry->value)) +
                           " characters; at most " + std::to_string(rule.size - 1) + " fit");
    return true;
  }
  if (state == KeyState::kBadSwitch) {
    ctx.findings.Error(entry->line, rule.tooLongCode, section,
                       name + " is '" + entry->value + "'; it must be true or false");
    return true;
  }
  return false;
}

bool MissingProblem(StepContext& ctx, const char* section, const KeyRule& rule, KeyState state) {
  if (state != KeyState::kAbsent || rule.missingCode == 0) return false;
  ctx.findings.Error(SectionLine(section), rule.missingCode, section,
                     std::string(rule.name) + " is missing");
  return true;
}

}  // namespace

std::optional<std::vector<std::string>> ReadKeys(StepContext& ctx, const char* section,
                                                 std::span<const KeyRule> rules, KeyOrder order) {
  std::vector<std::string> values(rules.size());
  std::vector<KeyState> states(rules.size());
  for (std::size_t i = 0; i < rules.size(); ++i) {
    std::string buffer(static_cast<std::size_t>(rules[i].size), '\0');
    states[i] = LookUpKey(section, rules[i], buffer.data());
    if (states[i] == KeyState::kPresent) values[i] = buffer.c_str();
  }
  bool problem = false;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    problem |= ValueProblem(ctx, section, rules[i], states[i]);
    if (order == KeyOrder::kInTurn) problem |= MissingProblem(ctx, section, rules[i], states[i]);
  }
  if (order == KeyOrder::kValuesFirst) {
    for (std::size_t i = 0; i < rules.size(); ++i) {
      problem |= MissingProblem(ctx, section, rules[i], states[i]);
    }
  }
  if (problem) return std::nullopt;
  return values;
}

}  // namespace upd::medium
