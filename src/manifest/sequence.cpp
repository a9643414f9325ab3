#include "manifest/sequence.h"

#include <array>
#include <cstring>

#include "fileutil/lists.h"

namespace upd {

namespace {

// The groups being expanded, outermost first. Checking a new group against it
// costs at most kMaxGroupDepth comparisons, so a cycle is refused as soon as
// the depth-first walk comes back to a group, before any of its steps repeat.
class GroupPath {
 public:
  [[nodiscard]] bool Full() const { return depth_ == kMaxGroupDepth; }
  [[nodiscard]] bool Contains(const char* name) const {
    for (int i = 0; i < depth_; ++i) {
      if (std::strcmp(groups_[static_cast<std::size_t>(i)], name) == 0) return true;
    }
    return false;
  }
  void Push(const char* name) { groups_[static_cast<std::size_t>(depth_++)] = name; }
  void Pop() { --depth_; }
  [[nodiscard]] const char* Innermost() const {
    return depth_ == 0 ? "" : groups_[static_cast<std::size_t>(depth_ - 1)];
  }
  // The groups as names, outermost first, and `last` after them when given.
  [[nodiscard]] std::vector<std::string> Names(const char* last) const {
    std::vector<std::string> names(groups_.begin(), groups_.begin() + depth_);
    if (last != nullptr) names.emplace_back(last);
    return names;
  }

 private:
  std::array<const char*, kMaxGroupDepth> groups_{};
  int depth_ = 0;
};

struct Expansion {
  const char* listSection;
  SectionAppender steps;
  GroupPath path;
  int stepsLeft = kMaxSteps;
  SequenceTrace* trace;  // may be null

  int Fail(SequenceFailure failure, const char* last = nullptr) {
    if (trace != nullptr) {
      trace->failure = failure;
      trace->groups = path.Names(last);
    }
    return 0;
  }
};

int Expand(const char* name, Expansion& x) {
  std::array<char, kGroupListSize> list{};
  bool found = false;
  if (GetAuxInfo(x.listSection, name, list.data(), kGroupListSize, &found) == 0) {
    return x.Fail(SequenceFailure::kListTooLong, name);
  }
  if (!found) {
    // Groups that list other groups twice double at every level: bound the
    // whole sequence, not just the depth.
    if (x.stepsLeft == 0) return x.Fail(SequenceFailure::kTooManySteps);
    --x.stepsLeft;
    if (x.steps.Append(name) == 0) return x.Fail(SequenceFailure::kNoMemory);
    if (x.trace != nullptr) x.trace->stepGroups.emplace_back(x.path.Innermost());
    return 1;
  }

  if (x.path.Contains(name)) return x.Fail(SequenceFailure::kCycle, name);
  if (x.path.Full()) return x.Fail(SequenceFailure::kTooDeep, name);
  const MklistPtr items(mklist1(list.data(), ','));
  if (!items) return x.Fail(SequenceFailure::kEmptyList, name);
  x.path.Push(name);
  for (char** item = items.get(); *item != nullptr; ++item) {
    if (Expand(*item, x) == 0) return 0;
  }
  x.path.Pop();
  return 1;
}

}  // namespace

int BuildSectionList(const char* listSection, const char* name, Section** head) {
  return BuildSectionList(listSection, name, head, nullptr);
}

int BuildSectionList(const char* listSection, const char* name, Section** head,
                     SequenceTrace* trace) {
  if (trace != nullptr) *trace = SequenceTrace{};
  if (listSection == nullptr || name == nullptr || head == nullptr) {
    if (trace != nullptr) trace->failure = SequenceFailure::kBadArgument;
    return 0;
  }
  // One walk to the end of the caller's list; every step after it is appended
  // in constant time.
  Expansion x{listSection, SectionAppender(head), GroupPath{}, kMaxSteps, trace};
  return Expand(name, x);
}

}  // namespace upd
