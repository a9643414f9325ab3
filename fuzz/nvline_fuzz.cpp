// The manifest's name=value splitter on a line (up to the first NUL) with
// buffer sizes from 0 to 63 bytes (the first two input bytes).
//
// Properties: name and value are the blank-trimmed texts before and after the
// first '='; 1 exactly when both fit; a part that does not fit is cut to its
// buffer, and the value stays empty after a name that did not fit; a size below
// 1 writes nothing. The buffers are exactly their size, so the sanitizer build
// sees a write past them.
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "manifest/reader.h"

namespace {

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  return first == text.npos ? text.substr(0, 0)
                            : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using upd::fuzz::Require;
  if (size < 2) return 0;
  const int nameSize = data[0] % 64, valueSize = data[1] % 64;
  const std::string line(upd::fuzz::Bytes(data + 2, size - 2));
  const std::string_view text(line.c_str());
  const auto buffer = [](int n) {  // at least one byte, to hold the marker
    auto b = std::make_unique<char[]>(static_cast<std::size_t>(std::max(n, 1)));
    std::memset(b.get(), '\x7f', static_cast<std::size_t>(std::max(n, 1)));
    return b;
  };
  const auto name = buffer(nameSize), value = buffer(valueSize);
  const int result = upd::nvline(line.c_str(), name.get(), nameSize, value.get(), valueSize);
  if (nameSize < 1 || valueSize < 1) {
    Require(result == 0 && name[0] == '\x7f' && value[0] == '\x7f', "a size below 1 was written to");
    return 0;
  }
  const std::size_t equals = text.find('=');
  const std::string_view wantName = Trim(text.substr(0, equals));
  const std::string_view wantValue = equals == text.npos ? "" : Trim(text.substr(equals + 1));
  const auto cut = [](std::string_view s, int n) { return s.substr(0, static_cast<std::size_t>(n - 1)); };
  const bool nameFits = wantName.size() < static_cast<std::size_t>(nameSize);
  Require(result == (nameFits && wantValue.size() < static_cast<std::size_t>(valueSize)),
          "wrong result");
  Require(name.get() == cut(wantName, nameSize), "wrong name");
  Require(value.get() == (nameFits ? cut(wantValue, valueSize) : ""), "wrong value");
  return 0;
}
