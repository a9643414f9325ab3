#include "manifest/reader.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "fileutil/chartests.h"
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
int ParseManifest(FilePtr file) {
  // Everything built so far is released by the builder on any early return, and
  // the file by its guard; the store is only touched after the last line.
  AuxListBuilder sections;
  std::array<char, kManifestLineSize> line{};
  std::array<char, kManifestLineSize> name{};
  std::array<char, kManifestLineSize> value{};
  for (;;) {
    const int length = nextline(file.get(), line.data(), kManifestLineSize,
                                kSkipBlankLines | kSkipCommentLines, nullptr);
    if (length == kLineEnd) break;
    if (length < 0) return 0;
    if (std::strchr(line.data(), '=') == nullptr) {
      if (sections.AddSection(line.data()) == 0) return 0;
      continue;
    }
    if (nvline(line.data(), name.data(), kManifestLineSize, value.data(), kManifestLineSize) == 0) {
      return 0;
    }
    // AddEntry refuses an entry before the first header.
    if (sections.AddEntry(name.data(), value.data()) == 0) return 0;
  }
  if (std::fclose(file.release()) != 0) return 0;
  InstallAuxInfo(sections.Release());
  return 1;
}

}  // namespace

int ReadAuxInfo(const char* path) {
  FilePtr file(OpenFile(path, "r"));
  if (!file) return 0;
  return ParseManifest(std::move(file));
}

int ReadAuxInfoBytes(const unsigned char* data, unsigned int length) {
  if (length == 0) {
    InstallAuxInfo(nullptr);
    return 1;
  }
  if (data == nullptr) return 0;
  // A read-only memory stream: the bytes are never written through it.
  FilePtr file(::fmemopen(const_cast<unsigned char*>(data), length, "r"));
  if (!file) return 0;
  return ParseManifest(std::move(file));
}

}  // namespace upd
