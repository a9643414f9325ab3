// The manifest's name=value splitter on arbitrary lines (up to the first NUL)
// and buffer sizes from 0 to 63 bytes (first two input bytes).
//
// Properties: the name is the text before the first '=' and the value the text
// after it, both without blanks at either end; 1 exactly when both fit; a part
// that does not fit is cut to its buffer and a value after a name that did not
// fit stays empty; no byte is written outside the two buffers; a size below 1
// writes nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "manifest/reader.h"

namespace {

using upd::fuzz::Require;

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A buffer of exactly `size` bytes (at least one, to hold a sentinel) filled
// with a marker, so that untouched bytes can be told apart.
std::unique_ptr<char[]> Buffer(int size) {
  const auto bytes = static_cast<std::size_t>(size < 1 ? 1 : size);
  auto buffer = std::make_unique<char[]>(bytes);
  std::memset(buffer.get(), '\x7f', bytes);
  return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int nameSize = data[0] % 64, valueSize = data[1] % 64;
  const std::string line(upd::fuzz::Bytes(data + 2, size - 2));
  const std::string_view text(line.c_str());

  const auto name = Buffer(nameSize), value = Buffer(valueSize);
  const int result = upd::nvline(line.c_str(), name.get(), nameSize, value.get(), valueSize);
  if (nameSize < 1 || valueSize < 1) {
    Require(result == 0 && name[0] == '\x7f' && value[0] == '\x7f',
            "a buffer size below 1 was written to");
    return 0;
  }
  const std::size_t equals = text.find('=');
  const std::string_view wantName = Trim(text.substr(0, equals));
  const std::string_view wantValue =
      equals == std::string_view::npos ? std::string_view() : Trim(text.substr(equals + 1));
  const bool nameFits = wantName.size() < static_cast<std::size_t>(nameSize);
  const bool valueFits = wantValue.size() < static_cast<std::size_t>(valueSize);
  Require(result == (nameFits && valueFits ? 1 : 0), "wrong result");
  Require(
      std::string_view(name.get()) == wantName.substr(0, static_cast<std::size_t>(nameSize - 1)),
      "wrong name");
  Require(std::string_view(value.get()) ==
              (nameFits ? wantValue.substr(0, static_cast<std::size_t>(valueSize - 1)) : ""),
          "wrong value");
  return 0;
}
