// Small helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace upd::fuzz {

/// A failed property: says which and stops, so that libFuzzer keeps the input.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

/// A private scratch directory for one fuzzing process, made on first use and
/// removed when the process ends.
const std::string& ScratchDir();

/// Replaces the file `name` in the scratch directory with `bytes`; returns its path.
std::string WriteScratch(const char* name, std::string_view bytes);

/// Reads a whole file; "" when it cannot be read.
std::string ReadWhole(const std::string& path);

}  // namespace upd::fuzz
