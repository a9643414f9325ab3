// The manifest as it comes off an unsigned stick: read from a file, then the
// step sequence expanded from "SectionList"/"Sequence".
//
// Properties: file and memory reads of the same bytes agree on result and
// store; the store holds only lines the reader could make (at most 255
// characters, no line break, tab or trailing blank, names without '=', line
// numbers rising within the file); the index finds what a scan of the lists
// finds (first section of a name, its first entry of a key); every step is a
// name that a list of the list section holds (or "Sequence" alone), never a
// group, at most kMaxSteps; tracing changes neither result nor steps.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "manifest/reader.h"
#include "manifest/sequence.h"
#include "manifest/store.h"

namespace {

using upd::fuzz::Require;

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
  Require(text.size() <= 255 && text.find_first_of("\n\r\t") == text.npos &&
              (text.empty() || text.back() != ' ') && (!name || text.find('=') == text.npos),
          "a stored text the reader could not make");
}

// The store's nodes, each against the file's lines and a scan of the lists.
void CheckStore(std::string_view bytes) {
  const auto lines = static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  int last = 0;
  const auto rises = [&last, lines](int line) {
    Require(line > last && line <= lines, "line numbers do not rise within the file");
    last = line;
  };
  char value[256];
  for (const upd::AuxSection* s = upd::aux_Section; s != nullptr; s = s->next) {
    rises(s->line);
    CheckText(s->name, true);
    Require(*s->name != '\0', "a section without a name");
    const upd::AuxSection* first = upd::aux_Section;
    while (std::strcmp(first->name, s->name) != 0) first = first->next;
    Require(upd::FindAuxSection(s->name) == first, "the index found another section than a scan");
    for (const upd::AuxEntry* e = s->entries; e != nullptr; e = e->next) {
      rises(e->line);
      CheckText(e->name, true);
      CheckText(e->value, false);
      const upd::AuxEntry* want = first->entries;
      while (want != nullptr && std::strcmp(want->name, e->name) != 0) want = want->next;
      bool found = false;
      Require(upd::GetAuxInfo(s->name, e->name, value, sizeof value, &found) == 1,
              "a stored value does not fit 256 bytes");
      Require(found == (want != nullptr) && (want == nullptr || std::strcmp(value, want->value) == 0),
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
    Require(name.find(',') == name.npos, "a step name holds a comma");
    if (name == "Sequence" && count == 1 && step->next == nullptr) continue;
    bool listed = false;
    for (const upd::AuxEntry* e = list != nullptr ? list->entries : nullptr; e != nullptr;
         e = e->next) {
      Require(name != e->name, "a group was left in the steps");
      listed = listed || std::string_view(e->value).find(name) != name.npos;
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
  Require(fromFile == fromMemory && (fromMemory == 0 || Dump() == stored),
          "file and memory reads disagree");
  if (fromMemory != 0) {
    CheckStore(bytes);
    upd::Section *steps = nullptr, *traced = nullptr;
    const int built = upd::BuildSectionList("SectionList", "Sequence", &steps);
    if (built != 0) CheckSteps(steps);
    upd::SequenceTrace trace;
    Require(upd::BuildSectionList("SectionList", "Sequence", &traced, &trace) == built &&
                (built == 0) == (trace.failure != upd::SequenceFailure::kNone),
            "tracing changed the result of the expansion, or its reason does not match");
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
