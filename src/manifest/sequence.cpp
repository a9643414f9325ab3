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

 private:
  std::array<const char*, kMaxGroupDepth> groups_{};
  int depth_ = 0;
};

int Expand(const char* listSection, const char* name, GroupPath& path, SectionAppender& steps,
           int& stepsLeft) {
  std::array<char, kGroupListSize> list{};
  bool found = false;
  if (GetAuxInfo(listSection, name, list.data(), kGroupListSize, &found) == 0) return 0;
  if (!found) {
    // Groups that list other groups twice double at every level: bound the
    // whole sequence, not just the depth.
    if (stepsLeft == 0) return 0;
    --stepsLeft;
    return steps.Append(name);
  }

  if (path.Contains(name) || path.Full()) return 0;
  const MklistPtr items(mklist1(list.data(), ','));
  if (!items) return 0;
  path.Push(name);
  for (char** item = items.get(); *item != nullptr; ++item) {
    if (Expand(listSection, *item, path, steps, stepsLeft) == 0) return 0;
  }
  path.Pop();
  return 1;
}

}  // namespace

int BuildSectionList(const char* listSection, const char* name, Section** head) {
  if (listSection == nullptr || name == nullptr || head == nullptr) return 0;
  // One walk to the end of the caller's list; every step after it is appended
  // in constant time.
  SectionAppender steps(head);
  GroupPath path;
  int stepsLeft = kMaxSteps;
  return Expand(listSection, name, path, steps, stepsLeft);
}

}  // namespace upd
