#include "manifest/sequence.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "manifest/reader.h"
#include "manifest/store.h"
#include "support/test_support.h"

namespace upd {
namespace {

using Steps = std::vector<std::string>;

class Sequence : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeSectionList(&head_);
    FreeAuxInfo();
  }

  // Reads `manifest` and expands "Sequence" onto head_: the names in head_, or
  // nullopt when the expansion fails (the partial list stays).
  std::optional<Steps> Expand(const std::string& manifest) {
    test::WriteFile(dir_ / "AuxInfo.txt", manifest);
    if (ReadAuxInfo((dir_ / "AuxInfo.txt").c_str()) == 0) return Steps{"<unreadable>"};
    if (BuildSectionList("SectionList", "Sequence", &head_) == 0) return std::nullopt;
    return Names();
  }

  Steps Names() const {
    Steps names;
    for (const Section* s = head_; s != nullptr; s = s->next) names.emplace_back(s->name);
    return names;
  }

  test::TempDir dir_;
  Section* head_ = nullptr;
};

// Sequence -> L1 -> ... -> L`levels`, each listing the next `fanout` times, the
// last listing "Step": fanout^levels steps, nesting depth levels + 1.
// (Appends only: GCC 12 at -O3 flags "text" + std::string as an overlap.)
std::string Fan(int levels, int fanout) {
  std::string list = "SectionList\nSequence = L1\n";
  for (int i = 1; i <= levels; ++i) {
    std::string next = "Step";
    if (i < levels) next = std::string("L").append(std::to_string(i + 1));
    list.append("L").append(std::to_string(i)).append(" = ").append(next);
    for (int k = 1; k < fanout; ++k) list.append(", ").append(next);
    list += "\n";
  }
  return list;
}

TEST_F(Sequence, ExpandsDepthFirstKeepingOrderWithinItsBounds) {
  const std::string list = "SectionList\nSequence = ";
  const struct {
    std::string manifest;
    std::optional<Steps> steps;
  } cases[] = {
      {list + "A, B\nA = C\nB = C, C\nC = x", Steps{"x", "x", "x"}},  // shared, not cyclic
      {"Step\nOperation = Reboot", Steps{"Sequence"}},                // no list section
      {Fan(15, 1), Steps{"Step"}},
      {Fan(16, 1), std::nullopt},         // nested too deep
      {Fan(8, 4), Steps(65536, "Step")},  // within the step bound
      {Fan(9, 4), std::nullopt},          // 262,144 steps: past kMaxSteps
  };
  for (const auto& c : cases) {
    FreeSectionList(&head_);
    EXPECT_EQ(Expand(c.manifest), c.steps) << c.manifest.substr(0, 60);
  }
  // A cycle is refused when first met; the partial list is the caller's to free.
  FreeSectionList(&head_);
  EXPECT_EQ(Expand(list + "A, B, C\nB = x, G\nG = y, B\n"), std::nullopt);
  EXPECT_EQ(Names(), (Steps{"A", "x", "y"}));
}

}  // namespace
}  // namespace upd
