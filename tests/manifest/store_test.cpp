#include "manifest/store.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <tuple>
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

// Runs on a list installed with InstallAuxInfo (indexed lookups) and on one put
// into aux_Section directly (scanned lookups).
class Store : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override { FreeAuxInfo(); }
  void Install(AuxSection* list) const {
    GetParam() ? InstallAuxInfo(list) : void(aux_Section = list);
  }
};

TEST_P(Store, FirstMatchAndSizeRules) {
  Install(nullptr);
  EXPECT_EQ(Lookup("A", "K", 16), "1 missing untouched");
  Install(Build({{"A", nullptr},
                 {"K", "first"},
                 {"K", "second"},
                 {"Empty", ""},
                 {"B", nullptr},
                 {"X", "abc"},
                 {"A", nullptr},
                 {"Late", "1"}}));
  // section, key, dstSize, result + found flag + buffer
  const std::tuple<const char*, const char*, int, const char*> cases[] = {
      {"A", "K", 16, "1 found first"},
      {"A", "Late", 16, "1 missing untouched"},
      {"B", "X", 4, "1 found abc"},
      {"B", "X", 3, "0 found untouched"},
      {"A", "Empty", 1, "1 found "},
      {"A", "Empty", 0, "0 found untouched"},
      {"a", "K", 16, "1 missing untouched"},
      {"B", "x", 16, "1 missing untouched"},
      {nullptr, "K", 16, "1 missing untouched"}};
  for (const auto& [section, key, dstSize, expected] : cases) {
    EXPECT_EQ(Lookup(section, key, dstSize), expected)
        << (section ? section : "null") << "/" << key << "/" << dstSize;
  }
  // index, dstSize, result, buffer ("keep" when not found)
  const std::tuple<int, int, int, const char*> sections[] = {
      {0, 2, 1, "A"}, {2, 8, 1, "A"}, {3, 8, 1, "keep"}, {-1, 8, 0, "keep"}, {1, 1, 0, "keep"}};
  for (const auto& [index, dstSize, result, expected] : sections) {
    char dst[8] = "keep";
    bool found = true;
    EXPECT_EQ(GetSection(index, dst, dstSize, &found), result) << index;
    EXPECT_EQ(found, std::string(expected) != "keep") << index;
    EXPECT_STREQ(dst, expected) << index;
  }
  FreeAuxInfo();
  FreeAuxInfo();
  EXPECT_EQ(aux_Section, nullptr);
  EXPECT_EQ(Lookup("B", "X", 16), "1 missing untouched");
}

INSTANTIATE_TEST_SUITE_P(IndexedAndScanned, Store, ::testing::Bool());

TEST(StoreIndex, FollowsARootChangedBehindItsBack) {
  InstallAuxInfo(Build({{"S", nullptr}, {"K", "installed"}}));
  AuxSection* installed = aux_Section;
  EXPECT_GE(AuxStoreBytes(), 4096U);  // the arena's first block at least
  aux_Section = Build({{"S", nullptr}, {"K", "direct"}});
  EXPECT_EQ(Lookup("S", "K", 16), "1 found direct");
  FreeAuxSections(installed);
  InstallAuxInfo(aux_Section);  // the same list: indexed, not released
  EXPECT_EQ(Lookup("S", "K", 16), "1 found direct");
  FreeAuxInfo();
}

}  // namespace
}  // namespace upd
