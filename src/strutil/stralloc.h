// Heap allocation for the string helpers, behind one switch that can make a
// chosen allocation fail. Running out of memory cannot be provoked otherwise,
// so this is how the tests reach every "memory ran out" result and, in the
// sanitizer build, show that a half-built result is released.
#pragma once

#include <cstddef>
#include <string_view>

namespace upd::str {

/// malloc(size); nullptr when it fails or a failure is injected.
[[nodiscard]] void* Allocate(std::size_t size);
/// calloc(count, size); nullptr when it fails or a failure is injected.
[[nodiscard]] void* AllocateZeroed(std::size_t count, std::size_t size);
/// A malloc'd, NUL-terminated copy of `text`; nullptr on failure.
[[nodiscard]] char* Copy(std::string_view text);

/// For tests: after `successes` more successful allocations through the
/// functions above, the next one fails (once). A negative value disarms.
void FailAllocationAfter(int successes);
/// For tests: true while an armed failure has not happened yet.
[[nodiscard]] bool AllocationFailurePending();

}  // namespace upd::str
