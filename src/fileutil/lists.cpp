#include "fileutil/lists.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/chartests.h"
#include "common/heapstr.h"

namespace upd {

int SplitString(const char* s, const char* separators, char** word, char** rest) {
  if (word == nullptr || rest == nullptr) return 0;
  const std::string_view text = s != nullptr ? s : "";
  std::size_t split = 0;
  while (split < text.size() && CharInList(text[split], separators) != 0) ++split;
  while (split < text.size() && CharInList(text[split], separators) == 0) ++split;
  MallocPtr<char> first(MallocCopy(text.substr(0, split)));
  MallocPtr<char> second(MallocCopy(text.substr(split)));
  if (!first || !second) return 0;
  *word = first.release();
  *rest = second.release();
  return 1;
}

int mklist(char* s, int* offsets, char delimiter) {
  // A blank delimiter would be eaten by the trimming.
  if (delimiter == '\0' || IsBlankChar(delimiter)) return -1;
  if (s == nullptr || offsets == nullptr) return 0;
  int count = 0;
  char* item = s;
  for (;;) {
    while (IsBlankChar(*item)) ++item;
    if (*item == '\0') return count;
    offsets[count++] = static_cast<int>(item - s);
    char* end = item;
    while (*end != '\0' && *end != delimiter) ++end;
    const bool last = *end == '\0';
    char* stop = end;
    while (stop > item && IsBlankChar(stop[-1])) --stop;
    *stop = '\0';  // over a trailing blank, the delimiter, or the terminator itself
    if (last) return count;
    item = end + 1;
  }
}

char** mklist1(const char* s, char delimiter) {
  if (s == nullptr || *s == '\0') return nullptr;
  MallocPtr<char> copy(MallocCopy(s));
  if (!copy) return nullptr;
  const std::string_view text(s);
  const auto delimiters = static_cast<std::size_t>(std::count(text.begin(), text.end(), delimiter));
  MallocPtr<int[]> offsets(static_cast<int*>(std::malloc((delimiters + 1) * sizeof(int))));
  if (!offsets) return nullptr;
  const int items = mklist(copy.get(), offsets.get(), delimiter);
  if (items <= 0) return nullptr;
  // calloc: the slots not yet filled are the terminator, so the guard can
  // release a half-filled array with free_mklist1.
  MklistPtr list(
      static_cast<char**>(std::calloc(static_cast<std::size_t>(items) + 1, sizeof(char*))));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < static_cast<std::size_t>(items); ++i) {
    list.get()[i] = MallocCopy(copy.get() + offsets[i]);
    if (list.get()[i] == nullptr) return nullptr;
  }
  return list.release();
}

void free_mklist1(char** list) {
  if (list == nullptr) return;
  for (char** item = list; *item != nullptr; ++item) std::free(*item);
  std::free(list);
}

}  // namespace upd
