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

/// The input up to its first NUL, as the string helpers see it.
inline std::string CText(const std::uint8_t* data, std::size_t size) {
  return std::string(Bytes(data, size)).c_str();
}

/// A private scratch directory, made on first use and removed at exit.
const std::string& ScratchDir();
/// Replaces the scratch file `name` with `bytes`; returns its path.
std::string WriteScratch(const char* name, std::string_view bytes);
/// A whole file; "" when it cannot be read.
std::string ReadWhole(const std::string& path);

}  // namespace upd::fuzz
