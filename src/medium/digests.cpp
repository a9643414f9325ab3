#include "medium/digests.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/chartests.h"
#include "common/heapstr.h"
#include "common/instrument_paths.h"
#include "fileutil/fileops.h"
#include "integrity/file_digests.h"
#include "integrity/md5.h"
#include "integrity/sha256.h"
#include "integrity/signature.h"
#include "manifest/key_rules.h"
#include "manifest/reader.h"
#include "manifest/store.h"
#include "medium/medium_paths.h"
#include "operations/operations.h"

namespace upd::medium {

namespace {

// One physical line: its bytes up to the line feed (a carriage return
// included), and the line feed itself ("" on a last line without one).
struct RawLine {
  std::string content;
  std::string end;
};

std::vector<RawLine> SplitLines(std::string_view bytes) {
  std::vector<RawLine> lines;
  while (!bytes.empty()) {
    const std::size_t feed = bytes.find('\n');
    if (feed == std::string_view::npos) {
      lines.push_back({std::string(bytes), ""});
      break;
    }
    lines.push_back({std::string(bytes.substr(0, feed)), "\n"});
    bytes.remove_prefix(feed + 1);
  }
  return lines;
}

int EntryLineOr(const AuxSection& section, const char* key) {
  const AuxEntry* entry = FindAuxEntry(section.name, key);
  return entry != nullptr ? entry->line : section.line;
}

// Blanks and carriage returns: what the reader drops around names and values.
bool Dropped(char c) {
  return IsBlankChar(c) || c == '\r';
}

struct Span {
  std::size_t nameBegin;
  std::size_t nameEnd;
  std::size_t valueBegin;
  std::size_t valueEnd;
};

// Where name and value of the entry line `raw` lie, provided the reader reads
// them as `name` and `value` from it; nothing otherwise (a tab or a carriage
// return inside either, for one).
std::optional<Span> FindEntryText(const std::string& raw, std::string_view name,
                                  std::string_view value) {
  const std::size_t equals = raw.find('=');
  if (equals == std::string::npos) return std::nullopt;
  Span s{0, equals, equals + 1, raw.size()};
  // Only blanks are skipped at the front, so that an empty value's place is
  // before a line's carriage return, not after it.
  while (s.nameBegin < s.nameEnd && IsBlankChar(raw[s.nameBegin])) ++s.nameBegin;
  while (s.nameEnd > s.nameBegin && Dropped(raw[s.nameEnd - 1])) --s.nameEnd;
  while (s.valueBegin < s.valueEnd && IsBlankChar(raw[s.valueBegin])) ++s.valueBegin;
  while (s.valueEnd > s.valueBegin && Dropped(raw[s.valueEnd - 1])) --s.valueEnd;
  const std::string_view text(raw);
  const std::string_view rawName = text.substr(s.nameBegin, s.nameEnd - s.nameBegin);
  const std::string_view rawValue = text.substr(s.valueBegin, s.valueEnd - s.valueBegin);
  if (rawName != name || rawValue != value) return std::nullopt;
  return s;
}

// A digest written in place of a value, or a new entry line after `line`.
struct Change {
  int line;  // from 1
  bool insert;
  std::size_t begin;  // the value's bytes on the line (replacements)
  std::size_t end;
  std::string text;  // the new value, or the whole new line without its end
};

class Editor {
 public:
  Editor(std::string medium, std::FILE* out, std::vector<RawLine> lines)
      : medium_(std::move(medium)), out_(out), lines_(std::move(lines)) {}

  void Section(const AuxSection& section);
  [[nodiscard]] int problems() const { return problems_; }
  [[nodiscard]] bool changed() const { return !changes_.empty(); }
  /// The manifest's bytes with every change made.
  [[nodiscard]] std::string Text() const;

 private:
  void Problem(int line, const char* section, const std::string& text) {
    std::fprintf(out_, "AuxInfo.txt:%d: section %s: %s\n", line, section, text.c_str());
    ++problems_;
  }
  void Digest(const AuxSection& section, const char* key, const char* digest);
  struct DataFile {
    std::string path;
    int line = 0;  // of the entry that names it
    const char* what = "";
  };
  [[nodiscard]] DataFile DataPath(const AuxSection& section);
  [[nodiscard]] const std::string& Content(int line) const {
    return lines_[static_cast<std::size_t>(line - 1)].content;
  }
  // The line end an added line takes after line `line`: that line's own.
  [[nodiscard]] std::string EndAfter(int line) const;

  std::string medium_;
  std::FILE* out_;
  std::vector<RawLine> lines_;
  std::vector<Change> changes_;
  int problems_ = 0;
};

// The file whose digests section `name` carries: a "TransferFile" source, a
// "ConfigUpdate" template, a "FlashUpdate" or "MSP430Update" DataPath1; an
// empty path when the section has none.
Editor::DataFile Editor::DataPath(const AuxSection& section) {
  const char* name = section.name;
  char operation[kOperationRule.size] = {};
  if (LookUpKey(name, kOperationRule, operation) != KeyState::kPresent) return {};
  const Operation* op = FindOperation(operation);
  if (op == nullptr) return {};
  const OperationKind kind = op->kind;
  if (kind == OperationKind::kTransferFile) {
    auto s = std::make_unique<TransferSettings>();
    const int code = SeenFromMedium(medium_, [&] { return ReadTransferSettings(name, s.get()); });
    if (code == 0) return {s->source, EntryLineOr(section, "SrcFile"), "source"};
    Problem(section.line, name,
            "TransferFile refuses the section with " + std::to_string(code) +
                " (update-medium check says why)");
    return {};
  }
  if (kind == OperationKind::kConfigUpdate) {
    ConfigPaths p{};
    const int code = SeenFromMedium(medium_, [&] { return ReadConfigPaths(name, &p); });
    if (code == 0) return {p.source.data(), EntryLineOr(section, "SrcFile"), "template"};
    Problem(section.line, name,
            "ConfigUpdate refuses the section with " + std::to_string(code) +
                " (update-medium check says why)");
    return {};
  }
  if (kind == OperationKind::kFlashUpdate || kind == OperationKind::kMsp430Update) {
    // A FlashUpdate without it stops (632) before it would use one.
    const AuxEntry* entry = FindAuxEntry(name, "DataPath1");
    if (entry != nullptr) return {entry->value, entry->line, "DataPath1"};
  }
  return {};
}

void Editor::Section(const AuxSection& section) {
  const char* name = section.name;
  const DataFile data = DataPath(section);
  if (data.path.empty()) return;
  const auto file = LookAtMedium(medium_, data.path);
  if (!file) {
    std::fprintf(out_, "AuxInfo.txt:%d: section %s: %s %s is not on the medium; left as it is\n",
                 section.line, name, data.what, data.path.c_str());
    return;
  }
  // Nothing but a regular file is opened: a FIFO would block, a device never end.
  std::string problem = NotAFileText(*file);
  char md5[kMd5TextSize] = {};
  char sha256[kSha256TextSize] = {};
  if (problem.empty() && HashFile(file->host.c_str(), md5, sha256) == 0) {
    problem = " cannot be read (" + file->host + ")";
  }
  if (!problem.empty()) {
    Problem(data.line, name, std::string(data.what) + " " + data.path + problem);
    return;
  }
  const std::size_t first = changes_.size();
  Digest(section, "MD5Hash", md5);
  Digest(section, "SHA256Hash", sha256);
  // Text() takes the changes in line order. Sections come in file order, so
  // only this section's own (at most two) may need ordering: a replacement
  // before what is added after the same line.
  std::stable_sort(changes_.begin() + static_cast<std::ptrdiff_t>(first), changes_.end(),
                   [](const Change& a, const Change& b) {
                     return a.line != b.line ? a.line < b.line : !a.insert && b.insert;
                   });
}

void Editor::Digest(const AuxSection& section, const char* key, const char* digest) {
  const AuxEntry* entry = FindAuxEntry(section.name, key);
  if (entry != nullptr) {
    if (std::strcmp(entry->value, digest) == 0) return;
    const std::string& raw = Content(entry->line);
    const auto span = FindEntryText(raw, key, entry->value);
    if (!span) {
      Problem(entry->line, section.name,
              std::string(key) +
                  " is not written as it reads (a tab or carriage return inside "
                  "it?): change it by hand");
      return;
    }
    // "Key =" gets its blank before the value.
    const bool bare = span->valueBegin == span->valueEnd && raw[span->valueBegin - 1] == '=';
    // Appended, not `" " + std::string(digest)`: GCC 12 at -O3 takes that
    // for an overlapping copy (-Wrestrict).
    std::string text(bare ? 1 : 0, ' ');
    text += digest;
    changes_.push_back({entry->line, false, span->valueBegin, span->valueEnd, std::move(text)});
    std::fprintf(out_, "AuxInfo.txt:%d: section %s: %s %s -> %s\n", entry->line, section.name, key,
                 *entry->value == '\0' ? "(empty)" : entry->value, digest);
    return;
  }
  // Added after the section's last entry, written the way that entry is.
  const AuxEntry* last = section.entries;
  while (last->next != nullptr) last = last->next;
  const std::string& raw = Content(last->line);
  std::string indent;
  std::string separator = " = ";
  if (const auto span = FindEntryText(raw, last->name, last->value)) {
    indent = raw.substr(0, span->nameBegin);
    if (*last->value != '\0')
      separator = raw.substr(span->nameEnd, span->valueBegin - span->nameEnd);
  }
  changes_.push_back({last->line, true, 0, 0, indent + key + separator + digest});
  std::fprintf(out_, "AuxInfo.txt:%d: section %s: %s %s added after this line\n", last->line,
               section.name, key, digest);
}

std::string Editor::EndAfter(int line) const {
  const RawLine& raw = lines_[static_cast<std::size_t>(line - 1)];
  const bool crlf = !raw.content.empty() && raw.content.back() == '\r';
  if (!raw.end.empty()) return crlf ? "\r\n" : "\n";
  // The last line has no end: take the file's.
  for (const RawLine& other : lines_) {
    if (!other.end.empty())
      return !other.content.empty() && other.content.back() == '\r' ? "\r\n" : "\n";
  }
  return "\n";
}

std::string Editor::Text() const {
  std::string text;
  auto change = changes_.begin();  // in line order: one pass over both
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    std::string content = lines_[i].content;
    for (; change != changes_.end() && change->line == number && !change->insert; ++change) {
      content.replace(change->begin, change->end - change->begin, change->text);
    }
    text += content;
    text += lines_[i].end;
    for (; change != changes_.end() && change->line == number; ++change) {
      // A last line without an end keeps the file without a final line end.
      text +=
          lines_[i].end.empty() ? EndAfter(number) + change->text : change->text + EndAfter(number);
    }
  }
  return text;
}

// Writes `text` beside `path` and renames it over `path`; "" or what failed.
std::string WriteOver(const std::string& path, const std::string& text) {
  const std::string fresh = path + ".new";
  // Made anew, never opened through what is there: an entry of that name,
  // a link planted there included, is left alone and stops the write.
  FilePtr file(OpenFile(fresh.c_str(), "wbx"));
  if (!file) {
    const int error = errno;
    return "cannot create " + fresh + " (" + std::strerror(error) + ")" +
           (error == EEXIST ? ": remove what is there and run digests again" : "");
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
                       std::fflush(file.get()) == 0 && ::fsync(::fileno(file.get())) == 0;
  const bool closed = std::fclose(file.release()) == 0;
  if (!written || !closed) {
    (void)RemoveFile(fresh.c_str());
    return "cannot write " + fresh;
  }
  if (ReplaceFile(fresh.c_str(), path.c_str()) != kRenameOk) {
    (void)RemoveFile(fresh.c_str());
    return "cannot rename " + fresh + " to " + path;
  }
  return {};
}

}  // namespace

int WriteDigests(const std::string& medium, std::FILE* out) {
  const std::string manifest = ManifestFile(medium);
  // Only a manifest that is a file of its own is rewritten: the instrument
  // cannot read one behind a link, and renaming over a link would not change
  // the file it names.
  if (const auto file = LookAtMedium(medium, kManifestPath); file->state != MediumState::kFile) {
    std::fprintf(out, "update-medium: the manifest%s; nothing changed.\n",
                 NotAFileText(*file).c_str());
    return 1;
  }
  unsigned char* raw = nullptr;
  unsigned int length = 0;
  if (ReadBytesFromFile(manifest.c_str(), &raw, &length) == 0) {
    std::fprintf(out, "update-medium: %s cannot be read\n", manifest.c_str());
    return 1;
  }
  const MallocPtr<unsigned char> bytes(raw);
  // The very bytes that are edited are the ones parsed.
  FreeAuxInfo();
  if (ReadAuxInfoBytes(bytes.get(), length) == 0) {
    std::fprintf(out,
                 "update-medium: %s cannot be read as a manifest (update-medium check says why)\n",
                 manifest.c_str());
    return 1;
  }
  Editor editor(medium, out,
                SplitLines(std::string_view(reinterpret_cast<const char*>(bytes.get()), length)));
  for (const AuxSection* s = aux_Section; s != nullptr; s = s->next) {
    // A repeated section is never read by the instrument.
    if (FindAuxSection(s->name) == s) editor.Section(*s);
  }
  const std::string text = editor.Text();
  FreeAuxInfo();

  if (editor.problems() > 0) {
    std::fprintf(out, "Nothing written: %s is as it was.\n", manifest.c_str());
    return 1;
  }
  if (!editor.changed()) {
    std::fprintf(out, "The digests in %s match the files already; nothing changed.\n",
                 manifest.c_str());
    return 0;
  }
  if (const std::string problem = WriteOver(manifest, text); !problem.empty()) {
    std::fprintf(out, "update-medium: %s; %s is as it was.\n", problem.c_str(), manifest.c_str());
    return 1;
  }
  std::fprintf(out,
               "Wrote %s. Its signature no longer matches: sign it again with the release key:\n"
               "  openssl dgst -sha256 -sign KEY -out %s %s\n",
               manifest.c_str(), SignatureFile(medium).c_str(), manifest.c_str());
  return 0;
}

}  // namespace upd::medium
