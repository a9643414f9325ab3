#include "sim/confined.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif

namespace upd::sim {

namespace {

using platform::Follow;
using platform::HostPath;
using platform::UniqueFd;

// The kernel's own limit on links followed in one resolution.
constexpr int kMaxLinks = 40;

std::atomic<bool> g_kernelLacksOpenat2{false};

std::vector<std::string> Components(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(pos, end - pos);
    if (!part.empty() && part != ".") parts.emplace_back(part);
    pos = end + 1;
  }
  return parts;
}

std::string Join(const std::vector<std::string>& parts, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) text += '/';
    text += parts[i];
  }
  return text.empty() ? "." : text;
}

bool ReadLink(int dir, const std::string& name, std::string& target) {
  std::array<char, 4096> buffer{};
  const ssize_t got = ::readlinkat(dir, name.c_str(), buffer.data(), buffer.size());
  if (got < 0 || static_cast<std::size_t>(got) >= buffer.size()) return false;
  target.assign(buffer.data(), static_cast<std::size_t>(got));
  return true;
}

// The directory `path` names inside `root`, one component at a time; each is
// opened without following it, and a link is read and resolved as text.
// Returns an invalid descriptor with errno set on failure.
UniqueFd WalkComponents(int root, std::string_view path, Links links) {
  std::vector<UniqueFd> stack;
  stack.emplace_back(::fcntl(root, F_DUPFD_CLOEXEC, 0));
  if (!stack.back().valid()) return {};
  const std::vector<std::string> first = Components(path);
  std::deque<std::string> pending(first.begin(), first.end());
  int followed = 0;
  while (!pending.empty()) {
    const std::string part = std::move(pending.front());
    pending.pop_front();
    if (part == "..") {
      if (stack.size() > 1) stack.pop_back();  // never above the root
      continue;
    }
    UniqueFd next(::openat(stack.back().get(), part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!next.valid() || ::fstat(next.get(), &st) != 0) return {};
    if (S_ISLNK(st.st_mode)) {
      std::string target;
      if (links == Links::kNone || ++followed > kMaxLinks) {
        errno = ELOOP;
        return {};
      }
      if (!ReadLink(stack.back().get(), part, target)) return {};
      if (target.starts_with('/')) stack.resize(1);
      const std::vector<std::string> more = Components(target);
      pending.insert(pending.begin(), more.begin(), more.end());
      continue;
    }
    if (!S_ISDIR(st.st_mode)) {
      errno = ENOTDIR;
      return {};
    }
    stack.push_back(std::move(next));
  }
  return std::move(stack.back());
}

// The same in one call to the kernel; ENOSYS where the kernel lacks openat2.
UniqueFd KernelResolve(int root, const std::string& path, Links links) {
#if defined(SYS_openat2) && __has_include(<linux/openat2.h>)
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
  if (links == Links::kNone) how.resolve |= RESOLVE_NO_SYMLINKS;
  for (int attempt = 0; attempt < 8; ++attempt) {
    // EAGAIN: a rename elsewhere raced with a "..": the kernel asks to retry.
    const long fd = ::syscall(SYS_openat2, root, path.c_str(), &how, sizeof how);
    if (fd >= 0) return UniqueFd(static_cast<int>(fd));
    if (errno != EAGAIN) return {};
  }
  return {};
#else
  (void)root;
  (void)path;
  (void)links;
  errno = ENOSYS;
  return {};
#endif
}

UniqueFd OpenDirectory(int root, const std::string& path, Links links, Walk walk) {
  if (walk == Walk::kKernel && !g_kernelLacksOpenat2.load()) {
    UniqueFd dir = KernelResolve(root, path, links);
    if (dir.valid() || errno != ENOSYS) return dir;
    g_kernelLacksOpenat2.store(true);
  }
  return WalkComponents(root, path, links);
}

}  // namespace

Walk DefaultWalk() {
  const char* choice = std::getenv("UPDATE_SIM_RESOLVE");
  return choice != nullptr && std::strcmp(choice, "walk") == 0 ? Walk::kComponents : Walk::kKernel;
}

HostPath ResolveInRoot(int root, std::string_view path, Follow last, Links links, Walk walk) {
  std::vector<std::string> parts = Components(path);
  bool wantsDirectory = !path.empty() && path.back() == '/';
  int followed = 0;
  for (;;) {
    // The root itself, or a path ending in "..": the directory is the result.
    if (parts.empty() || parts.back() == "..") {
      HostPath host;
      host.directory = OpenDirectory(root, Join(parts, parts.size()), links, walk);
      if (!host.directory.valid()) return HostPath::Unreachable(errno);
      host.name.assign(1, '.');  // `= "."` is an overlapping copy to GCC 12 at -O3 (-Wrestrict)
      host.noFollow = true;
      return host;
    }
    HostPath host;
    host.directory = OpenDirectory(root, Join(parts, parts.size() - 1), links, walk);
    if (!host.directory.valid()) return HostPath::Unreachable(errno);
    host.name = parts.back();
    host.noFollow = true;

    struct stat st {};
    const bool present = ::fstatat(host.directory.get(), host.name.c_str(), &st,
                                   AT_SYMLINK_NOFOLLOW) == 0;
    const bool follow = last == Follow::kYes || wantsDirectory;
    if (present && S_ISLNK(st.st_mode) && follow && links == Links::kInRoot) {
      std::string target;
      if (++followed > kMaxLinks) return HostPath::Unreachable(ELOOP);
      if (!ReadLink(host.directory.get(), host.name, target)) return HostPath::Unreachable(errno);
      // The link's text takes its place; the directory it lies in is resolved
      // again, to the same directory, with the rest.
      std::vector<std::string> next;
      if (!target.starts_with('/')) next.assign(parts.begin(), parts.end() - 1);
      for (std::string& part : Components(target)) next.push_back(std::move(part));
      wantsDirectory = wantsDirectory || target.ends_with('/');
      parts = std::move(next);
      continue;
    }
    if (wantsDirectory && present && !S_ISDIR(st.st_mode)) return HostPath::Unreachable(ENOTDIR);
    return host;
  }
}

}  // namespace upd::sim
