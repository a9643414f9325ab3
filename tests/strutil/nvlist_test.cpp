#include "strutil/nvlist.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace upd::str {
namespace {

// name=value@name,eq,value,semicolon positions ("-" for absent), ";" when ended by one.
std::string Parse(int (*parse)(const char*, nv**), const char* s) {
  const auto at = [](std::uint16_t p) {
    return p == kNvAbsent ? std::string("-") : std::to_string(p);
  };
  nv* items = nullptr;
  int count = parse(s, &items);
  std::string out;
  for (const nv* i = items; i != nullptr; i = i->next, --count) {
    out += std::string(out.empty() ? "" : " / ") + (i->name ? i->name : "-") + "=" +
           (i->value ? i->value : "-") + "@" + at(i->name_at) + "," + at(i->eq_at) + "," +
           at(i->value_at) + "," + at(i->semicolon_at) + ((i->flags & kNvSemicolon) ? ";" : "");
  }
  EXPECT_EQ(count, 0) << "count differs from the list's length for " << s;
  free_nvlist1(&items);
  return out;
}

TEST(NvList, NameValueItems) {
  const struct {
    const char *s, *nvlist1, *nvlist2;  // nvlist2 null: as nvlist1
  } cases[] = {
      {"a = b c = d", "a=b@0,2,4,- / c=d@6,8,10,-", nullptr},
      {"a=b c=d", "a=b@0,1,2,- / c=d@4,5,6,-", nullptr},
      {"a = b = c", "a=b@0,2,4,- / -=c@-,6,8,-", nullptr},
      {"x y = 1 ; z", "x y=1@0,4,6,8; / z=-@10,-,-,-", "x=-@0,4,-,- / y=1@2,4,6,8; / z=-@10,-,-,-"},
      {"x y = ;", "x y=-@0,4,-,6;", "x=-@0,4,-,- / y=-@2,4,-,6;"},
      {"p q = r = s", "p q=r@0,4,6,- / -=s@-,8,10,-", "p=-@0,4,-,- / q=r@2,4,6,- / -=s@-,8,10,-"},
      {"a = b c d = e", "a=b c@0,2,4,- / d=e@8,10,12,-", nullptr},
      {"a==b", "a=-@0,1,-,- / -=b@-,2,3,-", nullptr},
      {"x y;", "x y=-@0,-,-,3;", nullptr},
      {"\tn\t=\tv\t;", "n=v@1,3,5,7;", nullptr},
      {"= ; =", "", nullptr},
      {nullptr, "", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Parse(nvlist1, c.s), c.nvlist1) << (c.s ? c.s : "null");
    EXPECT_EQ(Parse(nvlist2, c.s), c.nvlist2 ? c.nvlist2 : c.nvlist1) << (c.s ? c.s : "null");
  }
  EXPECT_EQ(Parse(nvlist1, std::string(kNvMaxText + 1, 'a').c_str()), "");
  EXPECT_EQ(nvlist1("a = b", nullptr) + nvlist2("a = b", nullptr), 0);
}

TEST(NvList, ItemTexts) {
  using Items = std::vector<std::string>;
  const struct {
    const char* s;
    Items items;
  } cases[] = {{"a = 1 b = 2", {"a = 1", "b = 2"}},
               {"a=b=c", {"a=b", "=c"}},
               {"x= =y", {"x=", "=y"}},
               {"==", {"=", "="}},
               {"p a=b q", {"a=b"}},
               {nullptr, {}}};
  for (const auto& c : cases) {
    char** items = nullptr;
    EXPECT_EQ(nvlist(c.s, &items), 1);
    EXPECT_EQ(Items(items, items + c.items.size()), c.items) << (c.s ? c.s : "null");
    EXPECT_EQ(items[c.items.size()], nullptr);
    free_nvlist(items);
  }
}

TEST(NvList, Explode) {
  using Texts = std::vector<std::string>;
  const struct {
    std::vector<const char*> words;
    Texts texts;
  } cases[] = {
      {{"Output"}, {"Output", "Outp"}},
      {{"Delay"}, {"Delay", "Del"}},
      {{"Gain"}, {"Gain"}},
      {{"MEASure", "VOLTage"}, {"MEASureVOLTage", "MEASVOLTage", "MEASureVOLT", "MEASVOLT"}},
      {{"Gain", "Output"}, {"GainOutput", "GainOutp"}},
      {{}, {}},
      {std::vector<const char*>(17, "Output"), {}}};  // 2^17 texts: refused
  for (auto c : cases) {
    c.words.push_back(nullptr);
    ElistPtr list(nv_Explode(c.words.data()));
    Texts texts;
    for (const elist* node = list.get(); node != nullptr; node = node->next)
      texts.push_back(node->text);
    EXPECT_EQ(texts, c.texts);
  }
}

}  // namespace
}  // namespace upd::str
