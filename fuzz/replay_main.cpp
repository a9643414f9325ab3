// Runs a fuzz target once over every input file named on the command line (a
// directory stands for the files in it, in name order), without libFuzzer: the
// ordinary and sanitizer builds replay the committed corpora this way.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (!fs::is_directory(argv[i], ec)) files.emplace_back(argv[i]);
    for (const auto& entry : fs::directory_iterator(argv[i], ec))
      if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    // A copy of exactly the input's size, so that a read past its end shows.
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", file.c_str());
      return 1;
    }
    LLVMFuzzerTestOneInput(data.data(), data.size());
  }
  std::printf("%zu inputs replayed\n", files.size());
  return files.empty() ? 2 : 0;
}
