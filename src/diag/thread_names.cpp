#include "diag/thread_names.h"

#include <unistd.h>

#include <array>
#include <cstring>
#include <mutex>

#include "diag/diag_internal.h"

namespace upd {

namespace {

struct ThreadInfoEntry {
  unsigned long id;
  std::array<char, kThreadNameSize> name;
};

struct ThreadInfo {
  int count = 0;
  std::array<ThreadInfoEntry, kThreadTableRows> rows{};
};

ThreadInfo g_threads;
std::mutex g_threadsMutex;

unsigned long CallerId() {
  return static_cast<unsigned long>(::gettid());
}

}  // namespace

int SetThreadName(unsigned long id, const char* name) {
  if (name == nullptr || ::strnlen(name, kThreadNameSize) >= kThreadNameSize) return 0;
  std::lock_guard lock(g_threadsMutex);
  const auto used = static_cast<std::size_t>(g_threads.count);
  for (std::size_t i = 0; i < used; ++i) {
    if (std::strcmp(g_threads.rows[i].name.data(), name) == 0) {
      g_threads.rows[i].id = id;
      return 1;
    }
  }
  if (g_threads.count == kThreadTableRows) return 0;
  ThreadInfoEntry& row = g_threads.rows[used];
  row.id = id;
  std::strcpy(row.name.data(), name);
  ++g_threads.count;
  return 1;
}

int SetThreadName(const char* name) {
  return SetThreadName(CallerId(), name);
}

const char* GetThreadName(unsigned long id) {
  std::lock_guard lock(g_threadsMutex);
  const auto used = static_cast<std::size_t>(g_threads.count);
  for (std::size_t i = 0; i < used; ++i) {
    if (g_threads.rows[i].id == id) return g_threads.rows[i].name.data();
  }
  return nullptr;
}

const char* GetThreadName() {
  return GetThreadName(CallerId());
}

namespace diag {

void ResetThreadNames() {
  std::lock_guard lock(g_threadsMutex);
  g_threads = ThreadInfo{};
}

}  // namespace diag

}  // namespace upd
