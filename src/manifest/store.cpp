#include "manifest/store.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/heapstr.h"

namespace upd {

AuxSection* aux_Section = nullptr;

// One malloc'd block of a list's arena. Nodes are taken from its front and
// strings from its back, so neither pads the other. The first block of a
// handed-over list also records the list's head and links the registry.
struct ArenaBlock {
  ArenaBlock* previous;  // the block filled before this one; null for the first
  ArenaBlock* nextList;  // first blocks only: the next handed-over list's first block
  ArenaBlock* last;      // first blocks only: the block filled last
  AuxSection* head;      // first blocks only: the list that owns the arena
  std::size_t size;      // bytes of the block, header included
};

namespace {

// FNV-1a: no allocation, and spreads short names well enough for probing.
constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

std::uint64_t HashBytes(const char* text, std::uint64_t hash = kFnvOffset) {
  for (; *text != '\0'; ++text) {
    hash ^= static_cast<unsigned char>(*text);
    hash *= kFnvPrime;
  }
  return hash;
}

std::uint64_t HashEntry(const AuxSection* owner, const char* key) {
  return HashBytes(key, kFnvOffset ^ (reinterpret_cast<std::uintptr_t>(owner) * kFnvPrime));
}

// Sections with at most this many entries are scanned: their entries lie next
// to each other in memory, and the runner asks for several keys of one step in
// a row, so a short scan beats hashing. Larger ones (the list section) are hashed.
constexpr std::size_t kScannedEntries = 32;

// Open addressing with linear probing over malloc'd slots, at most half full,
// growing by doubling. Only first occurrences go in (a later section of a name
// or entry of a key is never looked up), so a manifest of many sections or
// entries under few names costs almost nothing here. Building it can fail
// softly (no exceptions): lookups then scan.
template <typename Slot>
class ProbeTable {
 public:
  void Reset() {
    slots_.reset();
    mask_ = 0;
    count_ = 0;
  }
  [[nodiscard]] std::size_t Bytes() const { return slots_ ? (mask_ + 1) * sizeof(Slot) : 0; }

  // The slot holding a key that `matches`, or the empty slot where it belongs;
  // the table must have been given room by Reserve.
  template <typename Matches>
  Slot& Probe(std::uint64_t hash, Matches matches) const {
    for (std::size_t i = static_cast<std::size_t>(hash) & mask_;; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if (slot.IsEmpty() || matches(slot)) return slot;
    }
  }
  // Makes room for one more slot to be filled, rehashing with `hashOf` when the
  // table would be over half full; false when memory runs out.
  template <typename HashOf>
  bool Reserve(HashOf hashOf) {
    if (slots_ && (count_ + 1) * 2 <= mask_ + 1) return true;
    const std::size_t size = slots_ ? (mask_ + 1) * 2 : 16;
    MallocPtr<Slot[]> grown(static_cast<Slot*>(std::calloc(size, sizeof(Slot))));
    if (!grown) return false;
    for (std::size_t i = 0; slots_ && i <= mask_; ++i) {
      if (slots_[i].IsEmpty()) continue;
      for (std::size_t j = static_cast<std::size_t>(hashOf(slots_[i])) & (size - 1);;
           j = (j + 1) & (size - 1)) {
        if (grown[j].IsEmpty()) {
          grown[j] = slots_[i];
          break;
        }
      }
    }
    slots_ = std::move(grown);
    mask_ = size - 1;
    return true;
  }
  // Counts a slot that Probe returned empty and the caller has just filled.
  void Filled() { ++count_; }

 private:
  MallocPtr<Slot[]> slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

struct SectionSlot {
  const AuxSection* section;
  [[nodiscard]] bool IsEmpty() const { return section == nullptr; }
};

struct EntrySlot {
  const AuxSection* owner;
  const AuxEntry* entry;
  [[nodiscard]] bool IsEmpty() const { return entry == nullptr; }
};

std::uint64_t HashOf(const SectionSlot& slot) {
  return HashBytes(slot.section->name);
}
std::uint64_t HashOf(const EntrySlot& slot) {
  return HashEntry(slot.owner, slot.entry->name);
}

const AuxEntry* ScanEntries(const AuxSection& section, const char* key) {
  for (const AuxEntry* e = section.entries; e != nullptr; e = e->next) {
    if (std::strcmp(e->name, key) == 0) return e;
  }
  return nullptr;
}

bool HasManyEntries(const AuxSection& section) {
  std::size_t count = 0;
  for (const AuxEntry* e = section.entries; e != nullptr; e = e->next) {
    if (++count > kScannedEntries) return true;
  }
  return false;
}

// Maps a section name to the FIRST section of that name (later ones are never
// indexed, which is exactly the lookup rule), and for large sections a key to
// its first entry. Valid only for the list it was built for.
class StoreIndex {
 public:
  void Build(const AuxSection* root) {
    Clear();
    if (root == nullptr) return;
    for (const AuxSection* s = root; s != nullptr; s = s->next) {
      if (!sections_.Reserve([](const SectionSlot& x) { return HashOf(x); })) return Clear();
      SectionSlot& slot = FindSlot(s->name);
      if (!slot.IsEmpty()) continue;
      slot = SectionSlot{s};
      sections_.Filled();
      if (HasManyEntries(*s) && !IndexEntries(s)) return Clear();
    }
    root_ = root;
  }

  void Clear() {
    sections_.Reset();
    entries_.Reset();
    root_ = nullptr;
  }

  [[nodiscard]] bool Covers(const AuxSection* root) const {
    return root != nullptr && root == root_;
  }
  [[nodiscard]] bool Empty() const { return root_ == nullptr; }
  [[nodiscard]] std::size_t Bytes() const { return sections_.Bytes() + entries_.Bytes(); }

  [[nodiscard]] const AuxSection* FindSection(const char* section) const {
    return FindSlot(section).section;
  }

  [[nodiscard]] const AuxEntry* Find(const char* section, const char* key) const {
    const AuxSection* found = FindSection(section);
    if (found == nullptr) return nullptr;
    // The first entries are scanned; a section longer than that is hashed.
    std::size_t seen = 0;
    for (const AuxEntry* e = found->entries; e != nullptr; e = e->next) {
      if (std::strcmp(e->name, key) == 0) return e;
      if (++seen == kScannedEntries && e->next != nullptr) return FindHashed(found, key).entry;
    }
    return nullptr;
  }

 private:
  SectionSlot& FindSlot(const char* section) const {
    return sections_.Probe(HashBytes(section), [section](const SectionSlot& x) {
      return std::strcmp(x.section->name, section) == 0;
    });
  }

  EntrySlot& FindHashed(const AuxSection* owner, const char* key) const {
    return entries_.Probe(HashEntry(owner, key), [owner, key](const EntrySlot& x) {
      return x.owner == owner && std::strcmp(x.entry->name, key) == 0;
    });
  }

  bool IndexEntries(const AuxSection* owner) {
    for (const AuxEntry* e = owner->entries; e != nullptr; e = e->next) {
      if (!entries_.Reserve([](const EntrySlot& x) { return HashOf(x); })) return false;
      EntrySlot& slot = FindHashed(owner, e->name);
      if (!slot.IsEmpty()) continue;  // the first entry of a key wins
      slot = EntrySlot{owner, e};
      entries_.Filled();
    }
    return true;
  }

  const AuxSection* root_ = nullptr;
  ProbeTable<SectionSlot> sections_;
  ProbeTable<EntrySlot> entries_;
};

StoreIndex storeIndex;

const AuxEntry* ScanForEntry(const char* section, const char* key) {
  for (const AuxSection* s = aux_Section; s != nullptr; s = s->next) {
    // Only the first section of the name is searched.
    if (std::strcmp(s->name, section) == 0) return ScanEntries(*s, key);
  }
  return nullptr;
}

// Whether the index describes the store; when the root was changed without
// InstallAuxInfo it does not, and the list it describes may be gone.
bool IndexUsable() {
  if (storeIndex.Covers(aux_Section)) return true;
  if (!storeIndex.Empty()) storeIndex.Clear();
  return false;
}

const AuxEntry* FindEntry(const char* section, const char* key) {
  return IndexUsable() ? storeIndex.Find(section, key) : ScanForEntry(section, key);
}

// Copies `text` into dst when it is shorter than dstSize; false (dst untouched) otherwise.
bool CopyIfFits(const char* text, char* dst, int dstSize) {
  const std::size_t len = std::strlen(text);
  if (dstSize <= 0 || len >= static_cast<std::size_t>(dstSize)) return false;
  std::memcpy(dst, text, len + 1);
  return true;
}

// Strings of at most one character are shared, never copied: in a manifest of
// one-character keys and values a copy would cost more than the line itself.
struct ShortStrings {
  std::array<std::array<char, 2>, 256> text;
};
constexpr ShortStrings MakeShortStrings() {
  ShortStrings strings{};
  for (std::size_t c = 0; c < strings.text.size(); ++c) {
    strings.text[c] = {static_cast<char>(c), '\0'};
  }
  return strings;
}
// Not const: the nodes' fields are char*; nothing writes through them.
constinit ShortStrings shortStrings = MakeShortStrings();

// Block sizes grow from small (a real manifest takes a few kilobytes) to a
// size whose unused tail is negligible beside the largest manifest's store.
constexpr std::size_t kFirstBlockBytes = 4096;
constexpr std::size_t kLargestBlockBytes = 65536;

// Lists handed over by AuxListBuilder::Release, each found by its head when
// it is released as a whole.
ArenaBlock* handedOver = nullptr;

void FreeBlocks(ArenaBlock* last) {
  while (last != nullptr) {
    ArenaBlock* previous = last->previous;
    std::free(last);
    last = previous;
  }
}

std::size_t BlockBytes(const ArenaBlock* last) {
  std::size_t bytes = 0;
  for (; last != nullptr; last = last->previous) bytes += last->size;
  return bytes;
}

// The handed-over list with this head, unlinked from the registry; or null.
ArenaBlock* TakeHandedOver(const AuxSection* head) {
  for (ArenaBlock** link = &handedOver; *link != nullptr; link = &(*link)->nextList) {
    if ((*link)->head != head) continue;
    ArenaBlock* first = *link;
    *link = first->nextList;
    return first;
  }
  return nullptr;
}

const ArenaBlock* FindHandedOver(const AuxSection* head) {
  for (const ArenaBlock* b = handedOver; b != nullptr; b = b->nextList) {
    if (b->head == head) return b;
  }
  return nullptr;
}

void FreeMallocList(AuxSection* head) {
  while (head != nullptr) {
    AuxSection* nextSection = head->next;
    AuxEntry* entry = head->entries;
    while (entry != nullptr) {
      AuxEntry* nextEntry = entry->next;
      std::free(entry->name);
      std::free(entry->value);
      std::free(entry);
      entry = nextEntry;
    }
    std::free(head->name);
    std::free(head);
    head = nextSection;
  }
}

Section* NewSection(std::string_view name) {
  MallocPtr<char> copy(MallocCopy(name));
  MallocPtr<Section> node(static_cast<Section*>(std::malloc(sizeof(Section))));
  if (!copy || !node) return nullptr;
  *node = Section{copy.release(), nullptr};
  return node.release();
}

}  // namespace

void InstallAuxInfo(AuxSection* head) {
  if (head != aux_Section) FreeAuxInfo();
  aux_Section = head;
  storeIndex.Build(head);
}

int GetAuxInfo(const char* section, const char* key, char* dst, int dstSize, bool* found) {
  *found = false;
  if (section == nullptr || key == nullptr) return 1;
  const AuxEntry* e = FindEntry(section, key);
  if (e == nullptr) return 1;
  *found = true;
  return CopyIfFits(e->value, dst, dstSize) ? 1 : 0;
}

const AuxSection* FindAuxSection(const char* section) {
  if (section == nullptr) return nullptr;
  if (IndexUsable()) return storeIndex.FindSection(section);
  for (const AuxSection* s = aux_Section; s != nullptr; s = s->next) {
    if (std::strcmp(s->name, section) == 0) return s;
  }
  return nullptr;
}

const AuxEntry* FindAuxEntry(const char* section, const char* key) {
  if (section == nullptr || key == nullptr) return nullptr;
  return FindEntry(section, key);
}

int GetSection(int index, char* dst, int dstSize, bool* found) {
  *found = false;
  if (index < 0) return 0;
  const AuxSection* s = aux_Section;
  for (int i = 0; s != nullptr && i < index; ++i) s = s->next;
  if (s == nullptr) return 1;
  if (!CopyIfFits(s->name, dst, dstSize)) return 0;
  *found = true;
  return 1;
}

void FreeAuxSections(AuxSection* head) {
  if (head == nullptr) return;
  if (ArenaBlock* first = TakeHandedOver(head)) return FreeBlocks(first->last);
  FreeMallocList(head);
}

std::size_t AuxStoreBytes() {
  const ArenaBlock* first = aux_Section != nullptr ? FindHandedOver(aux_Section) : nullptr;
  return (first != nullptr ? BlockBytes(first->last) : 0) +
         (IndexUsable() ? storeIndex.Bytes() : 0);
}

void FreeAuxInfo() {
  storeIndex.Clear();
  FreeAuxSections(aux_Section);
  aux_Section = nullptr;
}

void ShowAuxInfo() {
  // Walks the store as a debugging aid would; nothing is written.
  for (const AuxSection* s = aux_Section; s != nullptr; s = s->next) {
    for (const AuxEntry* e = s->entries; e != nullptr; e = e->next) {
    }
  }
}

void FreeSectionList(Section** head) {
  if (head == nullptr) return;
  Section* node = *head;
  while (node != nullptr) {
    Section* next = node->next;
    std::free(node->name);
    std::free(node);
    node = next;
  }
  *head = nullptr;
}

AuxSection* NewAuxSection(std::string_view name) {
  MallocPtr<char> copy(MallocCopy(name));
  if (!copy) return nullptr;
  auto* section = static_cast<AuxSection*>(std::malloc(sizeof(AuxSection)));
  if (section == nullptr) return nullptr;
  *section = AuxSection{copy.release(), nullptr, nullptr, 0};
  return section;
}

int AppendSection(Section** head, std::string_view name) {
  return SectionAppender(head).Append(name);
}

AuxListBuilder::~AuxListBuilder() {
  FreeBlocks(block_);
}

void* AuxListBuilder::Take(std::size_t size) {
  const std::size_t align =
      alignof(AuxSection) > alignof(AuxEntry) ? alignof(AuxSection) : alignof(AuxEntry);
  const std::size_t rounded = (size + align - 1) / align * align;
  if (block_ == nullptr || static_cast<std::size_t>(high_ - low_) < rounded) {
    if (!Grow(rounded)) return nullptr;
  }
  void* node = low_;
  low_ += rounded;
  return node;
}

char* AuxListBuilder::Copy(std::string_view text) {
  if (text.size() <= 1) {
    return shortStrings.text[text.empty() ? 0 : static_cast<unsigned char>(text[0])].data();
  }
  if (block_ == nullptr || static_cast<std::size_t>(high_ - low_) < text.size() + 1) {
    if (!Grow(text.size() + 1)) return nullptr;
  }
  high_ -= text.size() + 1;
  std::memcpy(high_, text.data(), text.size());
  high_[text.size()] = '\0';
  return high_;
}

bool AuxListBuilder::Grow(std::size_t need) {
  constexpr std::size_t header = (sizeof(ArenaBlock) + alignof(std::max_align_t) - 1) /
                                 alignof(std::max_align_t) * alignof(std::max_align_t);
  std::size_t size =
      block_ == nullptr ? kFirstBlockBytes : std::min(block_->size * 2, kLargestBlockBytes);
  if (size < header + need) size = header + need;
  auto* block = static_cast<ArenaBlock*>(std::malloc(size));
  if (block == nullptr) return false;
  *block = ArenaBlock{block_, nullptr, nullptr, nullptr, size};
  block_ = block;
  low_ = reinterpret_cast<char*>(block) + header;
  high_ = reinterpret_cast<char*>(block) + size;
  return true;
}

int AuxListBuilder::AddSection(std::string_view name, int line) {
  void* memory = Take(sizeof(AuxSection));
  char* copy = memory != nullptr ? Copy(name) : nullptr;
  if (copy == nullptr) return 0;
  auto* section = static_cast<AuxSection*>(memory);
  *section = AuxSection{copy, nullptr, nullptr, line};
  *sectionTail_ = section;
  sectionTail_ = &section->next;
  entryTail_ = &section->entries;
  return 1;
}

int AuxListBuilder::AddEntry(std::string_view name, std::string_view value, int line) {
  if (entryTail_ == nullptr) return 0;
  void* memory = Take(sizeof(AuxEntry));
  char* nameCopy = memory != nullptr ? Copy(name) : nullptr;
  char* valueCopy = nameCopy != nullptr ? Copy(value) : nullptr;
  if (valueCopy == nullptr) return 0;
  auto* entry = static_cast<AuxEntry*>(memory);
  *entry = AuxEntry{nameCopy, valueCopy, nullptr, line};
  *entryTail_ = entry;
  entryTail_ = &entry->next;
  return 1;
}

AuxSection* AuxListBuilder::Release() {
  AuxSection* head = head_;
  if (head != nullptr) {
    ArenaBlock* first = block_;
    while (first->previous != nullptr) first = first->previous;
    first->head = head;
    first->last = block_;
    first->nextList = handedOver;
    handedOver = first;
    block_ = nullptr;
  }
  head_ = nullptr;
  sectionTail_ = &head_;
  entryTail_ = nullptr;
  return head;
}

SectionAppender::SectionAppender(Section** head) : tail_(head) {
  while (*tail_ != nullptr) tail_ = &(*tail_)->next;
}

int SectionAppender::Append(std::string_view name) {
  Section* node = NewSection(name);
  if (node == nullptr) return 0;
  *tail_ = node;
  tail_ = &node->next;
  return 1;
}

}  // namespace upd
