// Heap copies of strings for the C-shaped records (lists, stores) that are
// released with free().
#pragma once

#include <cstdlib>
#include <memory>
#include <string_view>

namespace upd {

/// A malloc'd, NUL-terminated copy of exactly `text`; nullptr when memory runs out.
[[nodiscard]] char* MallocCopy(std::string_view text);

/// Releases malloc'd memory held by MallocPtr.
struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
/// Owns malloc'd memory until it is handed over with release().
template <typename T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;

}  // namespace upd
