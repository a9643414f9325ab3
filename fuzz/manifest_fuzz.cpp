// The manifest as it comes off an unsigned stick: read from a file, then the
// step sequence expanded from "SectionList"/"Sequence".
//
// Properties: reading the file and reading the same bytes from memory give the
// same result and the same store; the store holds only lines the reader could
// have made (at most 255 characters, no line break, tab or trailing blank, entry
// names without '=', line numbers rising within the file); every lookup through
// the store's index finds what a scan of the lists finds (the first section of
// a name, its first entry of a key); every step is a name that some list of the
// list section holds (or "Sequence" itself), never a group, and there are at
// most kMaxSteps; tracing the expansion changes neither result nor steps.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "manifest/reader.h"
#include "manifest/sequence.h"
#include "manifest/store.h"

namespace {

using upd::fuzz::Require;

// The store as text, to compare two reads.
std::string Dump() {
  std::string out;
  for (const upd::AuxSection* s = upd::aux_Section; s != nullptr; s = s->next) {
    out.append("[").append(s->name).append("]\n");
    for (const upd::AuxEntry* e = s->entries; e != nullptr; e = e->next)
      out.append(e->name).append("=").append(e->value).append("\n");
  }
  return out;
}

void CheckText(const char* stored, bool name) {
  Require(stored != nullptr, "a node without its text");
  const std::string_view text = stored;
  Require(text.size() <= 255, "a stored text is longer than 255 characters");
  Require(text.find_first_of("\n\r\t") == std::string_view::npos,
          "a stored text holds a line break or tab");
  Require(text.empty() || text.back() != ' ', "a stored text ends in a blank");
  if (name) Require(text.find('=') == std::string_view::npos, "a name holds '='");
}

void CheckStore(std::string_view bytes) {
  const auto lines = static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  int last = 0;
  const auto rises = [&last, lines](int line) {
    Require(line > last && line <= lines, "line numbers do not rise within the file");
    last = line;
  };
  for (const upd::AuxSection* s = upd::aux_Section; s != nullptr; s = s->next) {
    rises(s->line);
    CheckText(s->name, true);
    Require(*s->name != '\0', "a section without a name");
    for (const upd::AuxEntry* e = s->entries; e != nullptr; e = e->next) {
      rises(e->line);
      CheckText(e->name, true);
      CheckText(e->value, false);
    }
  }
}

// The first section `name` and its first entry `key` (when not null), by
// walking the lists rather than through the store's index.
const void* Scan(const char* name, const char* key = nullptr) {
  const upd::AuxSection* s = upd::aux_Section;
  while (s != nullptr && std::strcmp(s->name, name) != 0) s = s->next;
  if (s == nullptr || key == nullptr) return s;
  const upd::AuxEntry* e = s->entries;
  while (e != nullptr && std::strcmp(e->name, key) != 0) e = e->next;
  return e;
}

void CheckLookups() {
  char value[256];
  for (const upd::AuxSection* s = upd::aux_Section; s != nullptr; s = s->next) {
    Require(upd::FindAuxSection(s->name) == Scan(s->name),
            "the index found another section than a scan");
    for (const upd::AuxEntry* e = s->entries; e != nullptr; e = e->next) {
      const auto* want = static_cast<const upd::AuxEntry*>(Scan(s->name, e->name));
      bool found = false;
      value[0] = '\0';
      Require(upd::GetAuxInfo(s->name, e->name, value, sizeof value, &found) == 1,
              "a stored value does not fit 256 bytes");
      Require(found == (want != nullptr), "the index and a scan disagree on presence");
      Require(want == nullptr || std::strcmp(value, want->value) == 0,
              "the index found another entry than a scan");
    }
  }
  bool found = true;
  Require(upd::GetAuxInfo("no such section\x01", "Operation", value, sizeof value, &found) == 1 &&
              !found,
          "a section that is not there was found");
}

void CheckSteps(const upd::Section* steps) {
  const upd::AuxSection* list = upd::FindAuxSection("SectionList");
  int count = 0;
  for (const upd::Section* step = steps; step != nullptr; step = step->next) {
    Require(++count <= upd::kMaxSteps, "more steps than kMaxSteps");
    const std::string_view name = step->name;
    Require(name.find(',') == std::string_view::npos, "a step name holds a comma");
    if (name == "Sequence" && count == 1 && step->next == nullptr) continue;
    bool listed = false;
    for (const upd::AuxEntry* e = list != nullptr ? list->entries : nullptr; e != nullptr;
         e = e->next) {
      Require(name != e->name, "a group was left in the steps");
      listed = listed || std::string_view(e->value).find(name) != std::string_view::npos;
    }
    Require(listed, "a step that no list names");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = upd::fuzz::Bytes(data, size);
  const int fromFile = upd::ReadAuxInfo(upd::fuzz::WriteScratch("AuxInfo.txt", bytes).c_str());
  Require(fromFile != 0 || upd::aux_Section == nullptr, "a failed read changed the store");
  const std::string stored = fromFile != 0 ? Dump() : std::string();
  const int fromMemory = upd::ReadAuxInfoBytes(data, static_cast<unsigned int>(size));
  Require(fromFile == fromMemory, "file and memory reads disagree on the result");
  if (fromMemory != 0) {
    Require(Dump() == stored, "file and memory reads stored different manifests");
    CheckStore(bytes);
    CheckLookups();

    upd::Section *steps = nullptr, *traced = nullptr;
    const int built = upd::BuildSectionList("SectionList", "Sequence", &steps);
    if (built != 0) CheckSteps(steps);
    upd::SequenceTrace trace;
    Require(upd::BuildSectionList("SectionList", "Sequence", &traced, &trace) == built,
            "tracing changed the result of the expansion");
    Require((built == 0) == (trace.failure != upd::SequenceFailure::kNone),
            "the trace's reason does not match the result");
    std::size_t count = 0;
    for (const upd::Section *a = steps, *b = traced; a != nullptr || b != nullptr;
         a = a->next, b = b->next, ++count) {
      Require(a != nullptr && b != nullptr && std::strcmp(a->name, b->name) == 0,
              "tracing changed the steps");
    }
    Require(trace.stepGroups.size() == count, "a step without its naming group");
    upd::FreeSectionList(&traced);
    upd::FreeSectionList(&steps);
  }
  upd::FreeAuxInfo();
  return 0;
}
