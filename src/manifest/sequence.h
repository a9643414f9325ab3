// Expansion of the manifest's step sequence: the comma lists of the list
// section, followed depth-first from one name, become the ordered list of step
// sections that the driver runs.
//
// A name is a group when the list section has an entry with that name as key;
// the entry's value is a comma list of further names. Any other name is a step:
// the name of a manifest section to run (which need not exist). Order is kept
// and nothing is merged: "A, A" gives two steps.
#pragma once

#include <string>
#include <vector>

#include "manifest/store.h"

namespace upd {

/// Buffer for one group's list: a list may have at most 511 characters.
inline constexpr int kGroupListSize = 512;

/// Deepest nesting of groups accepted: the name expanded first counts as level
/// 1 when it is a group. Real manifests use two or three levels; the limit
/// bounds the work and the stack, and with it any cycle.
inline constexpr int kMaxGroupDepth = 16;

/// Most steps one expansion may yield. Real sequences have tens of steps; the
/// bound keeps groups that list other groups several times (each level
/// multiplying the count) from building an unbounded list.
inline constexpr int kMaxSteps = 100000;

/// Why an expansion failed.
enum class SequenceFailure {
  kNone,
  kListTooLong,   // a group's list does not fit kGroupListSize
  kEmptyList,     // a group's list is empty or has no items
  kCycle,         // a group lists itself, directly or through other groups
  kTooDeep,       // groups nest deeper than kMaxGroupDepth
  kTooManySteps,  // more than kMaxSteps steps
  kNoMemory,
  kBadArgument,
};

/// What a tool learns from an expansion besides the steps themselves.
struct SequenceTrace {
  SequenceFailure failure = SequenceFailure::kNone;
  /// On failure: the groups being expanded, outermost first; for a cycle the
  /// group met again comes last as well ("A", "B", "A").
  std::vector<std::string> groups;
  /// For each step appended, in order: the group whose list named it ("" for
  /// the name expanded first).
  std::vector<std::string> stepGroups;
};

/// Appends the steps that `name` stands for, looked up in section
/// `listSection` of the store, at the end of the list at *head.
/// Returns 1 on success. Returns 0 when a group's list does not fit
/// kGroupListSize, a group's list is empty or has no items, a group lists
/// itself directly or through other groups, groups nest deeper than
/// kMaxGroupDepth, the sequence would exceed kMaxSteps steps, memory runs out, or an argument is
/// null. Steps appended before a failure stay in the list; the caller releases it with
/// FreeSectionList.
/// Without a list section, or without an entry `name` in it, the result is
/// the single step `name`.
/// Example: with "Sequence = A, B" and "A = X, Y" in the list section,
/// BuildSectionList("SectionList", "Sequence", &head) appends X, Y, B.
[[nodiscard]] int BuildSectionList(const char* listSection, const char* name, Section** head);

/// BuildSectionList() that also fills *trace (may be null), reset first.
[[nodiscard]] int BuildSectionList(const char* listSection, const char* name, Section** head,
                                   SequenceTrace* trace);

}  // namespace upd
