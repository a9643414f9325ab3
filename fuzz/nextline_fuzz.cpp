// The line reader on arbitrary bytes: the first byte picks the flags, the
// second the buffer size (2 to 257 bytes), the rest is the stream.
//
// Property: the results, texts and skip counts are those of a plain model of
// the documented rules, and the end of input lasts. The buffer is exactly its
// size, so the sanitizer build sees a write past it.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fileutil/linereader.h"
#include "fuzz_support.h"

namespace {

struct Expected {
  int result;         // a length, or kLineTooLong
  std::string text;   // the C string, or the raw prefix when over-long
  int skippedBefore;  // lines skipped right before this one
};

std::vector<Expected> Model(std::string_view text, std::size_t limit, int flags) {
  std::vector<Expected> lines;
  int skipped = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    // Carriage returns dropped, tabs expanded up to `limit` characters, blanks
    // beyond it dropped, anything else beyond it over-long.
    std::string stored;
    bool overLong = false;
    for (const char c : text.substr(at, end - at)) {
      if (c == '\r') continue;
      if (stored.size() >= limit) {
        overLong = overLong || (c != ' ' && c != '\t');
      } else if (c == '\t') {
        stored.append(std::min((stored.size() / 8 + 1) * 8, limit) - stored.size(), ' ');
      } else {
        stored.push_back(c);
      }
    }
    at = end + 1;
    if (end == text.size() && stored.empty() && !overLong) break;  // only carriage returns
    const std::string cstr(stored.c_str());  // what the string tests see
    const std::size_t first = cstr.find_first_not_of(" \t");
    const bool blank = first == std::string::npos && !overLong;
    const bool comment = first != std::string::npos && (cstr[first] == '#' || cstr[first] == ';');
    if (((flags & upd::kSkipBlankLines) != 0 && blank) ||
        ((flags & upd::kSkipCommentLines) != 0 && comment)) {
      ++skipped;
      continue;
    }
    const std::string trimmed = cstr.substr(0, cstr.find_last_not_of(" \t") + 1);
    lines.push_back(overLong ? Expected{upd::kLineTooLong, stored, skipped}
                             : Expected{static_cast<int>(trimmed.size()), trimmed, skipped});
    skipped = 0;
  }
  return lines;
}

struct Closer {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using upd::fuzz::Require;
  if (size < 3) return 0;  // fmemopen needs at least one byte of stream
  const int flags = data[0] & 3, bufferSize = 2 + data[1];
  std::string text(upd::fuzz::Bytes(data + 2, size - 2));
  const std::unique_ptr<std::FILE, Closer> stream(fmemopen(text.data(), text.size(), "r"));
  Require(stream != nullptr, "fmemopen failed");
  const auto buffer = std::make_unique<char[]>(static_cast<std::size_t>(bufferSize));
  const auto limit = static_cast<std::size_t>(bufferSize - 1);
  for (const Expected& want : Model(text, limit, flags)) {
    int skipped = -1;
    const int got = upd::nextline(stream.get(), buffer.get(), bufferSize, flags, &skipped);
    Require(got == want.result && skipped == want.skippedBefore, "wrong result or skip count");
    Require(got == upd::kLineTooLong
                ? std::memcmp(buffer.get(), want.text.data(), limit) == 0
                : buffer[static_cast<std::size_t>(got)] == '\0' &&
                      std::memcmp(buffer.get(), want.text.data(), want.text.size()) == 0,
            "wrong text for a line");
  }
  for (int i = 0; i < 2; ++i) {
    Require(upd::nextline(stream.get(), buffer.get(), bufferSize, flags, nullptr) == upd::kLineEnd,
            "lines after the last");
  }
  return 0;
}
