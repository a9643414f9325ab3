// src/manifest: the update manifest: its reader, the store that holds it, the
// key rules of its values and the expansion of its step sequence.
//
// The manifest store: the parsed update manifest, process-wide, filled once by
// the reader and read through GetAuxInfo by the runner and every operation.
// Also the Section list, the ordered steps the driver executes.
//
// A list built by AuxListBuilder (as the reader builds the store) lives in one
// arena of large blocks, its strings of up to one character shared, so a
// manifest of one-character keys and values costs no more than its nodes; a
// list built by hand (NewAuxSection) is malloc'd node by node. Each list type
// has one release function that frees every node. Names compare exactly and
// case-sensitively, byte for byte.
#pragma once

#include <cstddef>
#include <string_view>

namespace upd {

struct ArenaBlock;

/// One name=value entry of a section, in file order.
struct AuxEntry {
  char* name;   // owned key
  char* value;  // owned value, possibly empty, never null
  AuxEntry* next;
  int line;  // line of the file it was read from, from 1; 0 when not read from a file
};

/// One manifest section, in file order.
struct AuxSection {
  char* name;  // owned name: the whole header line
  AuxEntry* entries;
  AuxSection* next;
  int line;  // line of its header, from 1; 0 when not read from a file
};

/// One step of the update sequence: the name of a manifest section.
struct Section {
  char* name;  // owned
  Section* next;
};

/// The store's root; null while the store is empty. The reader sets it through
/// InstallAuxInfo, which also indexes the list for quick lookups. Setting it
/// directly still works: lookups then scan the list instead.
extern AuxSection* aux_Section;

/// Makes the list at `head` (null for an empty store) the store's content and
/// indexes it. What the store held before is released first, unless it is this
/// very list. From then on the list belongs to the store: release it only with
/// FreeAuxInfo (or by installing another) and do not change it in place.
/// When memory for the index runs out, lookups fall back to scanning.
void InstallAuxInfo(AuxSection* head);

/// Looks up `key` in the first section named `section` (a later section of the
/// same name is never searched), taking the first entry of that key.
///   - no such section or key: returns 1, *found = false, dst untouched;
///   - value shorter than dstSize characters: copies it with its NUL, *found = true, 1;
///   - value of dstSize characters or more: returns 0, *found = true, dst untouched.
/// Example: value "abc" fits dstSize 4 but not dstSize 3.
[[nodiscard]] int GetAuxInfo(const char* section, const char* key, char* dst, int dstSize,
                             bool* found);

/// The section that lookups of `section` search (the first of that name), or
/// nullptr. Valid until the store changes.
[[nodiscard]] const AuxSection* FindAuxSection(const char* section);

/// The entry that GetAuxInfo(section, key, ...) reads, or nullptr when it would
/// report the key missing. Valid until the store changes.
[[nodiscard]] const AuxEntry* FindAuxEntry(const char* section, const char* key);

/// Copies the name of section number `index` (from 0, store order).
///   - negative index: returns 0, *found = false;
///   - index past the last section: returns 1, *found = false;
///   - name of dstSize characters or more: returns 0, *found = false, dst untouched;
///   - otherwise: copies it, *found = true, 1.
[[nodiscard]] int GetSection(int index, char* dst, int dstSize, bool* found);

/// Releases the whole store and nulls aux_Section; harmless on an empty store
/// and when called again.
void FreeAuxInfo();

/// Visits every section and entry in store order; writes nothing.
void ShowAuxInfo();

/// Releases every node of the list and nulls *head; a null `head` is ignored.
void FreeSectionList(Section** head);

// Building blocks for the reader and the sequence expansion.

/// Frees a section list that is not (or no longer) the store's. A list from
/// AuxListBuilder is released as a whole, from the head Release() gave.
void FreeAuxSections(AuxSection* head);

/// Bytes the store holds for its nodes, strings and index (of a list built by
/// hand, only the index); what the manifest costs to keep in memory.
[[nodiscard]] std::size_t AuxStoreBytes();

/// A new section node named `name`, no entries; nullptr when memory runs out.
[[nodiscard]] AuxSection* NewAuxSection(std::string_view name);

/// Appends a step named `name` at the end of the list at *head, walking it to
/// the end: for many steps use SectionAppender. 1 on success, 0 when memory
/// runs out.
[[nodiscard]] int AppendSection(Section** head, std::string_view name);

/// Builds a section list in file order, each append in constant time, in an
/// arena that goes with the list. Owns the list until Release(); whatever it
/// still holds is freed with the builder.
class AuxListBuilder {
 public:
  AuxListBuilder() = default;
  ~AuxListBuilder();
  AuxListBuilder(const AuxListBuilder&) = delete;
  AuxListBuilder& operator=(const AuxListBuilder&) = delete;

  /// Appends a section named `name`, without entries, and makes it the
  /// current one; `line` is where its header stands (0: unknown). 1 on
  /// success, 0 when memory runs out.
  [[nodiscard]] int AddSection(std::string_view name, int line = 0);
  /// Appends an entry to the current section; `line` as for AddSection. 1 on
  /// success; 0 when there is no section yet or memory runs out.
  [[nodiscard]] int AddEntry(std::string_view name, std::string_view value, int line = 0);
  /// Whether a section has been added since the start (entries need one).
  [[nodiscard]] bool HasSection() const { return entryTail_ != nullptr; }
  /// Hands the list over (null when nothing was added); the builder starts afresh.
  [[nodiscard]] AuxSection* Release();

 private:
  void* Take(std::size_t size);       // room for a node; nullptr when memory runs out
  char* Copy(std::string_view text);  // the string's copy or shared form; nullptr likewise
  bool Grow(std::size_t need);        // a new block with at least `need` free bytes

  AuxSection* head_ = nullptr;
  AuxSection** sectionTail_ = &head_;
  AuxEntry** entryTail_ = nullptr;  // null until the first section
  ArenaBlock* block_ = nullptr;     // the block being filled; it chains to the earlier ones
  char* low_ = nullptr;             // free bytes of block_: [low_, high_)
  char* high_ = nullptr;
};

/// Appends steps to the end of a Section list in constant time each. Holds no
/// ownership: the list stays the caller's, and nobody else may append to it
/// while the appender is in use.
class SectionAppender {
 public:
  /// `head` must not be null; *head may be an empty or non-empty list.
  explicit SectionAppender(Section** head);
  /// 1 on success, 0 when memory runs out (the list is then unchanged).
  [[nodiscard]] int Append(std::string_view name);

 private:
  Section** tail_;
};

}  // namespace upd
