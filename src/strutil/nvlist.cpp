#include "strutil/nvlist.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/chartests.h"
#include "strutil/stralloc.h"
#include "strutil/strcompare.h"

namespace upd::str {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// A half-open range of the parsed text.
struct Span {
  std::size_t begin = 0;
  std::size_t end = 0;
  [[nodiscard]] bool empty() const { return begin == end; }
};

Span Trim(std::string_view text, std::size_t begin, std::size_t end) {
  while (begin < end && IsBlankChar(text[begin])) ++begin;
  while (end > begin && IsBlankChar(text[end - 1])) --end;
  return {begin, end};
}

std::uint16_t Position(std::size_t at) {
  return at == kNone ? kNvAbsent : static_cast<std::uint16_t>(at);
}

// Appends nv items at the tail; whatever it holds is freed unless released.
class NvBuilder {
 public:
  explicit NvBuilder(std::string_view text) : text_(text) {}

  bool Add(Span name, std::size_t eq, Span value, std::size_t semicolon) {
    if (name.empty() && value.empty()) return true;
    auto* item = static_cast<nv*>(AllocateZeroed(1, sizeof(nv)));
    if (item == nullptr) return false;
    // Linked before its strings are copied, so a failed copy frees it too.
    if (tail_ == nullptr) {
      head_.reset(item);
    } else {
      tail_->next = item;
    }
    tail_ = item;
    ++count_;
    const std::uint16_t flags = semicolon != kNone ? kNvSemicolon : 0;
    item->flags = flags;
    item->flags2 = flags;
    item->name_at = Position(name.empty() ? kNone : name.begin);
    item->eq_at = Position(eq);
    item->value_at = Position(value.empty() ? kNone : value.begin);
    item->semicolon_at = Position(semicolon);
    return CopyInto(item->name, name) && CopyInto(item->value, value);
  }

  // nvlist2: every word of the name but the last is an item of its own.
  bool AddSplit(Span name, std::size_t eq, Span value, std::size_t semicolon) {
    std::size_t at = name.begin;
    for (;;) {
      std::size_t word_end = at;
      while (word_end < name.end && !IsBlankChar(text_[word_end])) ++word_end;
      if (word_end >= name.end) return Add({at, name.end}, eq, value, semicolon);
      if (!Add({at, word_end}, eq, {}, kNone)) return false;
      at = Trim(text_, word_end, name.end).begin;
    }
  }

  [[nodiscard]] int count() const { return count_; }
  nv* Release() { return head_.release(); }

 private:
  bool CopyInto(char*& field, Span span) {
    if (span.empty()) return true;
    field = Copy(text_.substr(span.begin, span.end - span.begin));
    return field != nullptr;
  }

  std::string_view text_;
  NvListPtr head_;
  nv* tail_ = nullptr;
  int count_ = 0;
};

// The one parser behind nvlist1 and nvlist2. Every step moves `at` forward:
// each next start lies beyond the "=" or ";" that the item began with.
bool ParseItems(std::string_view text, bool split_names, NvBuilder& items) {
  std::size_t at = 0;
  for (;;) {
    while (at < text.size() && (IsBlankChar(text[at]) || text[at] == ';')) ++at;
    if (at >= text.size()) return true;
    const std::size_t stop = std::min(text.find_first_of("=;", at), text.size());
    if (stop == text.size() || text[stop] == ';') {
      const std::size_t semicolon = stop < text.size() ? stop : kNone;
      if (!items.Add(Trim(text, at, stop), kNone, {}, semicolon)) return false;
      at = stop + 1;
      continue;
    }
    const Span name = Trim(text, at, stop);
    const std::size_t after = std::min(text.find_first_of("=;", stop + 1), text.size());
    Span value;
    std::size_t semicolon = kNone;
    if (after == text.size() || text[after] == ';') {
      value = Trim(text, stop + 1, after);
      if (after < text.size()) semicolon = after;
      at = after + 1;
    } else {
      // A second "=": the text between decides where the next item starts.
      const Span between = Trim(text, stop + 1, after);
      std::size_t last_word = between.end;
      while (last_word > between.begin && !IsBlankChar(text[last_word - 1])) --last_word;
      if (between.empty()) {
        at = after;
      } else if (last_word == between.begin) {
        value = between;
        at = between.end;
      } else {
        value = Trim(text, between.begin, last_word);
        at = last_word;
      }
    }
    const bool added = split_names ? items.AddSplit(name, stop, value, semicolon)
                                   : items.Add(name, stop, value, semicolon);
    if (!added) return false;
  }
}

int ParseList(const char* s, nv** out, bool split_names) {
  if (out == nullptr) return 0;
  *out = nullptr;
  if (s == nullptr) return 0;
  const std::string_view text(s);
  if (text.size() > kNvMaxText) return 0;
  NvBuilder items(text);
  if (!ParseItems(text, split_names, items)) return 0;
  const int count = items.count();
  *out = items.Release();
  return count;
}

// The short form of a word, if it has one.
std::optional<std::string_view> ShortForm(std::string_view word) {
  if (word.size() <= 4) return std::nullopt;
  constexpr std::string_view kVowels = "aeiou";
  return word.substr(0, kVowels.find(FoldAscii(word[3])) != kNone ? 3 : 4);
}

// text + tail in a new string.
char* Joined(std::string_view text, std::string_view tail) {
  auto* joined = static_cast<char*>(Allocate(text.size() + tail.size() + 1));
  if (joined == nullptr) return nullptr;
  std::memcpy(joined, text.data(), text.size());
  std::memcpy(joined + text.size(), tail.data(), tail.size());
  joined[text.size() + tail.size()] = '\0';
  return joined;
}

// Appends a node that takes `text` over and returns it as the new tail; null,
// with `text` freed, when `text` is null (a failed copy) or the node cannot be
// made.
elist* Append(ElistPtr& head, elist* tail, char* text) {
  if (text == nullptr) return nullptr;
  auto* node = static_cast<elist*>(AllocateZeroed(1, sizeof(elist)));
  if (node == nullptr) {
    std::free(text);
    return nullptr;
  }
  node->text = text;
  if (tail == nullptr) {
    head.reset(node);
  } else {
    tail->next = node;
  }
  return node;
}

}  // namespace

int nvlist(const char* s, char*** out) {
  if (out == nullptr) return 0;
  *out = nullptr;
  const std::string_view text = s != nullptr ? s : "";
  const auto signs = static_cast<std::size_t>(std::count(text.begin(), text.end(), '='));
  // Zeroed: the unfilled slots terminate the array, so the guard can free it.
  std::unique_ptr<char*, decltype(&free_nvlist)> items(
      static_cast<char**>(AllocateZeroed(signs + 1, sizeof(char*))), &free_nvlist);
  if (!items) return 0;
  std::size_t previous_end = 0;
  std::size_t slot = 0;
  for (std::size_t eq = text.find('='); eq != kNone; eq = text.find('=', eq + 1)) {
    std::size_t word_end = eq;
    while (word_end > 0 && text[word_end - 1] == ' ') --word_end;
    std::size_t begin = word_end;
    while (begin > 0 && text[begin - 1] != ' ' && text[begin - 1] != '=') --begin;
    // No word before, or the word that ended the previous item: start at "=".
    if (begin == word_end || begin < previous_end) begin = eq;
    std::size_t word = eq + 1;
    while (word < text.size() && text[word] == ' ') ++word;
    std::size_t end = word;
    while (end < text.size() && text[end] != ' ' && text[end] != '=') ++end;
    if (end == word) end = eq + 1;
    previous_end = end;
    items.get()[slot] = Copy(text.substr(begin, end - begin));
    if (items.get()[slot++] == nullptr) return 0;
  }
  *out = items.release();
  return 1;
}

void free_nvlist(char** list) {
  if (list == nullptr) return;
  for (char** item = list; *item != nullptr; ++item) std::free(*item);
  std::free(list);
}

int nvlist1(const char* s, nv** out) {
  return ParseList(s, out, false);
}

int nvlist2(const char* s, nv** out) {
  return ParseList(s, out, true);
}

void free_nvlist1(nv** list) {
  if (list == nullptr) return;
  for (nv* item = *list; item != nullptr;) {
    nv* const next = item->next;
    std::free(item->name);
    std::free(item->value);
    std::free(item);
    item = next;
  }
  *list = nullptr;
}

elist* nv_Explode(const char* const* words) {
  if (words == nullptr || words[0] == nullptr) return nullptr;
  ElistPtr texts;
  elist* tail = nullptr;
  std::size_t count = 0;
  for (const char* const* word = words; *word != nullptr; ++word) {
    const std::string_view full(*word);
    const std::optional<std::string_view> short_form = ShortForm(full);
    if (word == words) {
      tail = Append(texts, nullptr, Copy(full));
      if (tail == nullptr) return nullptr;
      ++count;
      if (short_form) {
        tail = Append(texts, tail, Copy(*short_form));
        if (tail == nullptr) return nullptr;
        ++count;
      }
      continue;
    }
    ElistPtr copies;
    elist* copies_tail = nullptr;
    if (short_form) {
      if (count * 2 > kMaxExplodeTexts) return nullptr;
      for (const elist* node = texts.get(); node != nullptr; node = node->next) {
        copies_tail = Append(copies, copies_tail, Joined(node->text, *short_form));
        if (copies_tail == nullptr) return nullptr;
      }
    }
    for (elist* node = texts.get(); node != nullptr; node = node->next) {
      char* longer = Joined(node->text, full);
      if (longer == nullptr) return nullptr;
      std::free(node->text);
      node->text = longer;
    }
    if (copies) {
      tail->next = copies.release();
      tail = copies_tail;
      count *= 2;
    }
  }
  return texts.release();
}

void nv_ExplodeFree(elist** list) {
  if (list == nullptr) return;
  for (elist* node = *list; node != nullptr;) {
    elist* const next = node->next;
    std::free(node->text);
    std::free(node);
    node = next;
  }
  *list = nullptr;
}

}  // namespace upd::str
