#include "fuzz_support.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace upd::fuzz {

const std::string& ScratchDir() {
  static const struct Scratch {
    Scratch() : path((std::filesystem::temp_directory_path() / "upd-fuzz-XXXXXX").string()) {
      Require(::mkdtemp(path.data()) != nullptr, "no scratch directory");
    }
    ~Scratch() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
    std::string path;
  } scratch;
  return scratch.path;
}

std::string WriteScratch(const char* name, std::string_view bytes) {
  const std::string path = ScratchDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  Require(static_cast<bool>(
              out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()),
          "scratch file not written");
  return path;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace upd::fuzz
