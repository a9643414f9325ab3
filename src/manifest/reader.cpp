#include "manifest/reader.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "common/chartests.h"
#include "fileutil/fileops.h"
#include "fileutil/linereader.h"
#include "manifest/store.h"

namespace upd {

namespace {

// Stores `text`, or its first size - 1 characters when it does not fit.
bool CopyCut(std::string_view text, char* dst, int size) {
  const auto room = static_cast<std::size_t>(size - 1);
  const bool fits = text.size() <= room;
  if (!fits) text = text.substr(0, room);
  std::memcpy(dst, text.data(), text.size());
  dst[text.size()] = '\0';
  return fits;
}

}  // namespace

int nvline(const char* line, char* name, int nameSize, char* value, int valueSize) {
  if (name == nullptr || value == nullptr || nameSize < 1 || valueSize < 1) return 0;
  *name = '\0';
  *value = '\0';
  if (line == nullptr) return 1;
  const std::string_view text(line);
  const std::size_t equals = text.find('=');
  if (!CopyCut(TrimBlanks(text.substr(0, equals)), name, nameSize)) return 0;
  if (equals == std::string_view::npos) return 1;
  return CopyCut(TrimBlanks(text.substr(equals + 1)), value, valueSize) ? 1 : 0;
}

namespace {

// Parses the whole stream into a new list and installs it; closes the stream.
// On failure *error (when given) says why and on which line.
int ParseManifest(FilePtr file, ManifestReadError* error) {
  const auto fail = [error](ManifestReadFailure failure, int line) {
    if (error != nullptr) *error = ManifestReadError{failure, line};
    return 0;
  };
  // Everything built so far is released by the builder on any early return, and
  // the file by its guard; the store is only touched after the last line.
  AuxListBuilder sections;
  std::array<char, kManifestLineSize> line{};
  std::array<char, kManifestLineSize> name{};
  std::array<char, kManifestLineSize> value{};
  int lineNumber = 0;
  for (;;) {
    int skipped = 0;
    const int length = nextline(file.get(), line.data(), kManifestLineSize,
                                kSkipBlankLines | kSkipCommentLines, &skipped);
    // Each call consumes the skipped lines and then one more.
    lineNumber += skipped + 1;
    if (length == kLineEnd) break;
    if (length == kLineTooLong) return fail(ManifestReadFailure::kOverLongLine, lineNumber);
    if (length < 0) return fail(ManifestReadFailure::kReadError, lineNumber);
    if (std::strchr(line.data(), '=') == nullptr) {
      if (sections.AddSection(line.data(), lineNumber) == 0) {
        return fail(ManifestReadFailure::kNoMemory, lineNumber);
      }
      continue;
    }
    if (nvline(line.data(), name.data(), kManifestLineSize, value.data(), kManifestLineSize) == 0) {
      return fail(ManifestReadFailure::kBadName, lineNumber);
    }
    // AddEntry refuses an entry before the first header.
    if (sections.AddEntry(name.data(), value.data(), lineNumber) == 0) {
      return fail(!sections.HasSection() ? ManifestReadFailure::kEntryBeforeHeader
                                         : ManifestReadFailure::kNoMemory,
                  lineNumber);
    }
  }
  if (std::fclose(file.release()) != 0) return fail(ManifestReadFailure::kReadError, 0);
  InstallAuxInfo(sections.Release());
  return 1;
}

}  // namespace

int ReadAuxInfo(const char* path) {
  return ReadAuxInfo(path, nullptr);
}

int ReadAuxInfo(const char* path, ManifestReadError* error) {
  FilePtr file(OpenFile(path, "r"));
  if (!file) {
    if (error != nullptr) *error = ManifestReadError{ManifestReadFailure::kCannotOpen, 0};
    return 0;
  }
  const long long bytes = StreamSize(file.get());
  if (bytes > kMaxManifestBytes) {
    if (error != nullptr) *error = ManifestReadError{ManifestReadFailure::kTooLarge, 0, bytes};
    return 0;
  }
  return ParseManifest(std::move(file), error);
}

int ReadAuxInfoBytes(const unsigned char* data, unsigned int length) {
  if (length == 0) {
    InstallAuxInfo(nullptr);
    return 1;
  }
  if (data == nullptr || length > kMaxManifestBytes) return 0;
  // A read-only memory stream: the bytes are never written through it.
  FilePtr file(::fmemopen(const_cast<unsigned char*>(data), length, "r"));
  if (!file) return 0;
  return ParseManifest(std::move(file), nullptr);
}

}  // namespace upd
