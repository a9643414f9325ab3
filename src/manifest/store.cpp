#include "manifest/store.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "strutil/heapstr.h"

namespace upd {

AuxSection* aux_Section = nullptr;

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
// so building the index can fail softly (no exceptions): lookups then scan.
template <typename Slot>
class ProbeTable {
 public:
  bool Allocate(std::size_t count) {
    const std::size_t size = std::bit_ceil(count * 2 + 8);
    slots_.reset(static_cast<Slot*>(std::calloc(size, sizeof(Slot))));
    mask_ = slots_ ? size - 1 : 0;
    return static_cast<bool>(slots_);
  }
  void Reset() {
    slots_.reset();
    mask_ = 0;
  }
  // The slot holding a key that `matches`, or the empty slot where it belongs.
  template <typename Matches>
  Slot& Probe(std::uint64_t hash, Matches matches) const {
    for (std::size_t i = static_cast<std::size_t>(hash) & mask_;; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if (slot.IsEmpty() || matches(slot)) return slot;
    }
  }

 private:
  MallocPtr<Slot[]> slots_;
  std::size_t mask_ = 0;
};

struct SectionSlot {
  const AuxSection* section;
  std::uint64_t hash;  // compared before the name, which is likely not in cache
  bool entriesHashed;  // its entries are in the entry table
  [[nodiscard]] bool IsEmpty() const { return section == nullptr; }
};

struct EntrySlot {
  const AuxSection* owner;
  const AuxEntry* entry;
  [[nodiscard]] bool IsEmpty() const { return entry == nullptr; }
};

const AuxEntry* ScanEntries(const AuxSection& section, const char* key) {
  for (const AuxEntry* e = section.entries; e != nullptr; e = e->next) {
    if (std::strcmp(e->name, key) == 0) return e;
  }
  return nullptr;
}

// Maps a section name to the FIRST section of that name (later ones are never
// indexed, which is exactly the lookup rule), and for large sections a key to
// its first entry. Valid only for the list it was built for.
class StoreIndex {
 public:
  void Build(const AuxSection* root) {
    Clear();
    if (root == nullptr) return;
    std::size_t sectionCount = 0;
    std::size_t hashedEntries = 0;
    for (const AuxSection* s = root; s != nullptr; s = s->next) {
      ++sectionCount;
      const std::size_t count = CountEntries(*s);
      if (count > kScannedEntries) hashedEntries += count;
    }
    if (!sections_.Allocate(sectionCount) || !entries_.Allocate(hashedEntries)) {
      Clear();
      return;
    }
    for (const AuxSection* s = root; s != nullptr; s = s->next) {
      const std::uint64_t hash = HashBytes(s->name);
      SectionSlot& slot = sections_.Probe(hash, [s, hash](const SectionSlot& x) {
        return x.hash == hash && std::strcmp(x.section->name, s->name) == 0;
      });
      if (!slot.IsEmpty()) continue;
      slot = SectionSlot{s, hash, CountEntries(*s) > kScannedEntries};
      if (slot.entriesHashed) IndexEntries(s);
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

  [[nodiscard]] const AuxSection* FindSection(const char* section) const {
    return FindSlot(section).section;
  }

  [[nodiscard]] const AuxEntry* Find(const char* section, const char* key) const {
    const SectionSlot& found = FindSlot(section);
    if (found.IsEmpty()) return nullptr;
    if (!found.entriesHashed) return ScanEntries(*found.section, key);
    return FindHashed(found.section, key).entry;
  }

 private:
  static std::size_t CountEntries(const AuxSection& section) {
    std::size_t count = 0;
    for (const AuxEntry* e = section.entries; e != nullptr; e = e->next) ++count;
    return count;
  }

  const SectionSlot& FindSlot(const char* section) const {
    const std::uint64_t hash = HashBytes(section);
    return sections_.Probe(hash, [section, hash](const SectionSlot& x) {
      return x.hash == hash && std::strcmp(x.section->name, section) == 0;
    });
  }

  EntrySlot& FindHashed(const AuxSection* owner, const char* key) const {
    return entries_.Probe(HashEntry(owner, key), [owner, key](const EntrySlot& x) {
      return x.owner == owner && std::strcmp(x.entry->name, key) == 0;
    });
  }

  void IndexEntries(const AuxSection* owner) {
    for (const AuxEntry* e = owner->entries; e != nullptr; e = e->next) {
      EntrySlot& slot = FindHashed(owner, e->name);
      if (slot.IsEmpty()) slot = EntrySlot{owner, e};  // the first entry of a key wins
    }
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

AuxEntry* NewAuxEntry(std::string_view name, std::string_view value, int line) {
  MallocPtr<char> nameCopy(MallocCopy(name));
  MallocPtr<char> valueCopy(MallocCopy(value));
  MallocPtr<AuxEntry> entry(static_cast<AuxEntry*>(std::malloc(sizeof(AuxEntry))));
  if (!nameCopy || !valueCopy || !entry) return nullptr;
  *entry = AuxEntry{nameCopy.release(), valueCopy.release(), nullptr, line};
  return entry.release();
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
  FreeAuxSections(head_);
}

int AuxListBuilder::AddSection(std::string_view name, int line) {
  AuxSection* section = NewAuxSection(name);
  if (section == nullptr) return 0;
  section->line = line;
  *sectionTail_ = section;
  sectionTail_ = &section->next;
  entryTail_ = &section->entries;
  return 1;
}

int AuxListBuilder::AddEntry(std::string_view name, std::string_view value, int line) {
  if (entryTail_ == nullptr) return 0;
  AuxEntry* entry = NewAuxEntry(name, value, line);
  if (entry == nullptr) return 0;
  *entryTail_ = entry;
  entryTail_ = &entry->next;
  return 1;
}

AuxSection* AuxListBuilder::Release() {
  AuxSection* head = head_;
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
