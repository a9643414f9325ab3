#include "fileutil/linereader.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/chartests.h"
#include "common/heapstr.h"
#include "fileutil/fileops.h"
#include "fileutil/lists.h"

namespace upd {

namespace {

constexpr std::size_t kTabWidth = 8;
constexpr const char* kWordSeparators = " \t(";

// Reads one physical line into buffer[0..limit], expanding tabs and dropping
// carriage returns. Returns the number of characters stored; sets overLong
// when a non-blank character did not fit.
std::size_t ReadRawLine(std::FILE* stream, char* buffer, std::size_t limit, bool& overLong) {
  std::size_t stored = 0;
  overLong = false;
  for (int c = std::getc(stream); c != EOF && c != '\n'; c = std::getc(stream)) {
    if (c == '\r') continue;
    if (stored < limit) {
      if (c == '\t') {
        const std::size_t stop = std::min((stored / kTabWidth + 1) * kTabWidth, limit);
        while (stored < stop) buffer[stored++] = ' ';
      } else {
        buffer[stored++] = static_cast<char>(c);
      }
    } else if (!IsBlankChar(static_cast<char>(c))) {
      // Keep reading to the line feed so the next call starts on the next line.
      overLong = true;
    }
  }
  buffer[stored] = '\0';
  return stored;
}

// A list under construction: appends in constant time and frees whatever it
// still holds when it goes out of scope, so early returns leak nothing.
template <typename Node, void (*FreeList)(Node**)>
class ListBuilder {
 public:
  ListBuilder() = default;
  ~ListBuilder() { FreeList(&head_); }
  ListBuilder(const ListBuilder&) = delete;
  ListBuilder& operator=(const ListBuilder&) = delete;

  void Append(Node* node) {
    *tail_ = node;
    tail_ = &node->next;
  }
  Node* Release() {
    Node* head = head_;
    head_ = nullptr;
    tail_ = &head_;
    return head;
  }

 private:
  Node* head_ = nullptr;
  Node** tail_ = &head_;
};

// The loop shared by ReadFile and ReadFile2; makeNode turns one line into a
// node, or nullptr when memory runs out.
template <typename Node, void (*FreeList)(Node**), typename MakeNode>
int ReadLines(const char* path, Node** head, MakeNode makeNode) {
  if (head == nullptr) return 0;
  FilePtr file(OpenFile(path, "r"));
  if (!file) return 0;
  ListBuilder<Node, FreeList> list;
  std::array<char, kWholeFileLineSize> line{};
  for (;;) {
    const int length = nextline(file.get(), line.data(), kWholeFileLineSize, 0, nullptr);
    if (length == kLineEnd) break;
    if (length < 0) return 0;
    Node* node = makeNode(line.data());
    if (node == nullptr) return 0;
    list.Append(node);
  }
  // The close result counts: on some file systems it is where an error shows.
  if (std::fclose(file.release()) != 0) return 0;
  *head = list.Release();
  return 1;
}

template <typename Node>
Node* NewNode() {
  return static_cast<Node*>(std::malloc(sizeof(Node)));
}

}  // namespace

int nextline(std::FILE* stream, char* buffer, int size, int flags, int* skipped) {
  int count = 0;
  if (skipped != nullptr) *skipped = 0;
  if (stream == nullptr || buffer == nullptr || size < 2) return kLineError;
  const auto limit = static_cast<std::size_t>(size - 1);
  for (;;) {
    bool overLong = false;
    const std::size_t stored = ReadRawLine(stream, buffer, limit, overLong);
    if (std::ferror(stream) != 0) return kLineError;
    if (stored == 0 && !overLong && std::feof(stream) != 0) return kLineEnd;
    // The skip tests see the untrimmed text. A non-blank character made the line
    // over-long, so it is never blank, whatever the stored part holds.
    if (((flags & kSkipBlankLines) != 0 && !overLong && IsBlank(buffer) != 0) ||
        ((flags & kSkipCommentLines) != 0 && iscomm(buffer) != 0)) {
      if (skipped != nullptr) *skipped = ++count;
      continue;
    }
    if (overLong) return kLineTooLong;
    std::size_t length = std::strlen(buffer);
    while (length > 0 && IsBlankChar(buffer[length - 1])) --length;
    buffer[length] = '\0';
    return static_cast<int>(length);
  }
}

int ReadFile(const char* path, LineList** head) {
  return ReadLines<LineList, FreeFile>(path, head, [](const char* line) -> LineList* {
    MallocPtr<char> text(MallocCopy(line));
    MallocPtr<LineList> node(NewNode<LineList>());
    if (!text || !node) return nullptr;
    *node = LineList{text.release(), nullptr};
    return node.release();
  });
}

int ReadFile2(const char* path, LineList2** head) {
  return ReadLines<LineList2, FreeFile2>(path, head, [](const char* line) -> LineList2* {
    MallocPtr<LineList2> node(NewNode<LineList2>());
    if (!node) return nullptr;
    char* word = nullptr;
    char* rest = nullptr;
    if (SplitString(line, kWordSeparators, &word, &rest) == 0) return nullptr;
    *node = LineList2{word, rest, nullptr};
    return node.release();
  });
}

void FreeFile(LineList** head) {
  if (head == nullptr) return;
  for (LineList* node = *head; node != nullptr;) {
    LineList* next = node->next;
    std::free(node->text);
    std::free(node);
    node = next;
  }
  *head = nullptr;
}

void FreeFile2(LineList2** head) {
  if (head == nullptr) return;
  for (LineList2* node = *head; node != nullptr;) {
    LineList2* next = node->next;
    std::free(node->word);
    std::free(node->rest);
    std::free(node);
    node = next;
  }
  *head = nullptr;
}

}  // namespace upd
