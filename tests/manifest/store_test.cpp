#include "manifest/store.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace upd {
namespace {

// A list from {name, nullptr} section headers and {key, value} entries, in order.
AuxSection* Build(std::initializer_list<std::pair<std::string, const char*>> lines) {
  AuxListBuilder list;
  for (const auto& [name, value] : lines) {
    if ((value == nullptr ? list.AddSection(name) : list.AddEntry(name, value)) == 0)
      return nullptr;
  }
  return list.Release();
}

// Result, found flag and buffer of one lookup into a buffer holding "untouched".
std::string Lookup(const char* section, const char* key, int dstSize) {
  char dst[16] = "untouched";
  bool found = true;
  const int result = GetAuxInfo(section, key, dst, dstSize, &found);
  return std::to_string(result) + (found ? " found " : " missing ") + dst;
}

// Every contract test runs on a list installed with InstallAuxInfo (indexed
// lookups) and on one put into aux_Section directly (scanned lookups).
class Store : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override { FreeAuxInfo(); }

  void Install(AuxSection* list) const {
    if (GetParam()) {
      InstallAuxInfo(list);
    } else {
      aux_Section = list;
    }
  }
};

TEST_P(Store, EmptyStoreFindsNothing) {
  Install(nullptr);
  EXPECT_EQ(Lookup("A", "K", 16), "1 missing untouched");
  EXPECT_EQ(Lookup("", "", 16), "1 missing untouched");
  char dst[8] = "keep";
  bool found = true;
  EXPECT_EQ(GetSection(0, dst, 8, &found), 1);
  EXPECT_FALSE(found);
  EXPECT_STREQ(dst, "keep");
  FreeAuxInfo();
  FreeAuxInfo();
  EXPECT_EQ(aux_Section, nullptr);
}

TEST_P(Store, FirstMatchAndSizeRules) {
  Install(Build({{"A", nullptr},
                 {"K", "first"},
                 {"K", "second"},
                 {"Empty", ""},
                 {"B", nullptr},
                 {"X", "abc"},
                 {"A", nullptr},
                 {"Late", "1"}}));
  const struct {
    const char* section;
    const char* key;
    int dstSize;
    const char* expected;
  } cases[] = {
      {"A", "K", 16, "1 found first"},
      {"A", "Late", 16, "1 missing untouched"},
      {"B", "X", 4, "1 found abc"},
      {"B", "X", 3, "0 found untouched"},
      {"A", "Empty", 1, "1 found "},
      {"A", "Empty", 0, "0 found untouched"},
      {"a", "K", 16, "1 missing untouched"},
      {"B", "x", 16, "1 missing untouched"},
      {nullptr, "K", 16, "1 missing untouched"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Lookup(c.section, c.key, c.dstSize), c.expected)
        << (c.section ? c.section : "null") << "/" << c.key << "/" << c.dstSize;
  }
  const struct {
    int index;
    int dstSize;
    int result;
    const char* dst;  // "keep" when not found
  } sections[] = {
      {0, 2, 1, "A"}, {2, 8, 1, "A"}, {3, 8, 1, "keep"}, {-1, 8, 0, "keep"}, {1, 1, 0, "keep"}};
  for (const auto& c : sections) {
    char dst[8] = "keep";
    bool found = true;
    EXPECT_EQ(GetSection(c.index, dst, c.dstSize, &found), c.result) << c.index;
    EXPECT_EQ(found, std::string(c.dst) != "keep") << c.index;
    EXPECT_STREQ(dst, c.dst) << c.index;
  }
  FreeAuxInfo();
  EXPECT_EQ(Lookup("B", "X", 16), "1 missing untouched");
}

TEST_P(Store, LargeSectionsKeepTheRules) {
  // Large sections (a big list section) are looked up another way than small ones.
  AuxListBuilder list;
  ASSERT_EQ(list.AddSection("Big"), 1);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(list.AddEntry("K" + std::to_string(i), "v"), 1);
  ASSERT_EQ(list.AddEntry("K5", "later"), 1);
  ASSERT_EQ(list.AddSection("Big"), 1);
  ASSERT_EQ(list.AddEntry("L", "w"), 1);
  Install(list.Release());
  EXPECT_EQ(Lookup("Big", "K5", 16), "1 found v");
  EXPECT_EQ(Lookup("Big", "K99", 1), "0 found untouched");
  EXPECT_EQ(Lookup("Big", "L", 16), "1 missing untouched");
}

INSTANTIATE_TEST_SUITE_P(IndexedAndScanned, Store, ::testing::Bool());

TEST(StoreIndex, FollowsARootChangedBehindItsBack) {
  InstallAuxInfo(Build({{"S", nullptr}, {"K", "installed"}}));
  AuxSection* installed = aux_Section;
  aux_Section = Build({{"S", nullptr}, {"K", "direct"}});
  EXPECT_EQ(Lookup("S", "K", 16), "1 found direct");
  FreeAuxSections(installed);
  InstallAuxInfo(aux_Section);  // the same list: indexed, not released
  EXPECT_EQ(Lookup("S", "K", 16), "1 found direct");
  FreeAuxInfo();
}

TEST(StoreSectionList, FreeingAnEmptyListOnlyNullsTheHead) {
  Section* steps = nullptr;
  FreeSectionList(&steps);
  FreeSectionList(nullptr);
  EXPECT_EQ(steps, nullptr);
}

}  // namespace
}  // namespace upd
