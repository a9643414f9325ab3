#include "fuzz_support.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace upd::fuzz {

const std::string& ScratchDir() {
  static const struct Scratch {
    std::string path = std::filesystem::temp_directory_path() / "upd-fuzz-XXXXXX";
    Scratch() { Require(::mkdtemp(path.data()) != nullptr, "no scratch directory"); }
    ~Scratch() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } scratch;
  return scratch.path;
}

std::string WriteScratch(const char* name, std::string_view bytes) {
  const std::string path = ScratchDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  Require(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush().good(),
          "scratch file not written");
  return path;
}

std::string ReadWhole(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

}  // namespace upd::fuzz
