#include "fuzz_support.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace upd::fuzz {

namespace {

// Made on first use, removed with everything in it when the process ends.
class Scratch {
 public:
  Scratch() {
    path_ = (std::filesystem::temp_directory_path() / "upd-fuzz-XXXXXX").string();
    if (::mkdtemp(path_.data()) == nullptr) Violated("no scratch directory");
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

const std::string& ScratchDir() {
  static const Scratch scratch;
  return scratch.path();
}

std::string WriteScratch(const char* name, std::string_view bytes) {
  const std::string path = ScratchDir() + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) Violated("scratch file not written");
  return path;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace upd::fuzz
