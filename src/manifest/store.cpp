#include "manifest/store.h"

#include <cstdlib>
#include <cstring>

#include "strutil/heapstr.h"

namespace upd {

AuxSection* aux_Section = nullptr;

namespace {

const AuxSection* FindSection(const char* name) {
  for (const AuxSection* s = aux_Section; s != nullptr; s = s->next) {
    if (std::strcmp(s->name, name) == 0) return s;
  }
  return nullptr;
}

const AuxEntry* FindEntry(const AuxSection& section, const char* key) {
  for (const AuxEntry* e = section.entries; e != nullptr; e = e->next) {
    if (std::strcmp(e->name, key) == 0) return e;
  }
  return nullptr;
}

// Copies `text` into dst when it is shorter than dstSize; false (dst untouched) otherwise.
bool CopyIfFits(const char* text, char* dst, int dstSize) {
  const std::size_t len = std::strlen(text);
  if (dstSize <= 0 || len >= static_cast<std::size_t>(dstSize)) return false;
  std::memcpy(dst, text, len + 1);
  return true;
}

}  // namespace

int GetAuxInfo(const char* section, const char* key, char* dst, int dstSize, bool* found) {
  *found = false;
  if (section == nullptr || key == nullptr) return 1;
  const AuxSection* s = FindSection(section);
  if (s == nullptr) return 1;
  const AuxEntry* e = FindEntry(*s, key);
  if (e == nullptr) return 1;
  *found = true;
  return CopyIfFits(e->value, dst, dstSize) ? 1 : 0;
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
  *section = AuxSection{copy.release(), nullptr, nullptr};
  return section;
}

int AppendAuxEntry(AuxSection* section, std::string_view name, std::string_view value) {
  MallocPtr<char> nameCopy(MallocCopy(name));
  MallocPtr<char> valueCopy(MallocCopy(value));
  if (!nameCopy || !valueCopy) return 0;
  auto* entry = static_cast<AuxEntry*>(std::malloc(sizeof(AuxEntry)));
  if (entry == nullptr) return 0;
  *entry = AuxEntry{nameCopy.release(), valueCopy.release(), nullptr};
  AuxEntry** tail = &section->entries;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = entry;
  return 1;
}

int AppendSection(Section** head, std::string_view name) {
  MallocPtr<char> copy(MallocCopy(name));
  if (!copy) return 0;
  auto* node = static_cast<Section*>(std::malloc(sizeof(Section)));
  if (node == nullptr) return 0;
  *node = Section{copy.release(), nullptr};
  Section** tail = head;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = node;
  return 1;
}

}  // namespace upd
