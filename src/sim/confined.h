// Paths resolved inside a root directory, as a process chrooted there would
// resolve them: absolute links start again at the root and ".." never climbs
// above it, so nothing outside the root is ever reached. The kernel does it
// with openat2(RESOLVE_IN_ROOT); where that call is missing (older kernels,
// qemu-arm) a walk one component at a time with O_NOFOLLOW does the same.
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace upd::sim {

/// How links inside the root are treated.
enum class Links {
  kInRoot,  // followed, inside the root
  kNone,    // a file system without links (vfat): a link is never followed
};

/// How a directory is reached: by the kernel in one call, or component by component.
enum class Walk { kKernel, kComponents };

/// The walk this process uses: kComponents when UPDATE_SIM_RESOLVE=walk is set
/// (so that tests exercise it where openat2 exists), else kKernel.
[[nodiscard]] Walk DefaultWalk();

/// Resolves `path` inside the directory `root` (an open descriptor): a leading
/// '/' is the root itself. The result names the last component relative to an
/// open directory, never to be followed again (HostPath::noFollow). A last link
/// is followed, inside the root, when `last` says so; a trailing '/' asks for a
/// directory and follows a last link too. With Links::kNone the links that
/// lie on the way make the path unreachable (ELOOP) and a last link is never
/// followed. A path that cannot be reached carries its errno value.
[[nodiscard]] platform::HostPath ResolveInRoot(int root, std::string_view path,
                                               platform::Follow last, Links links, Walk walk);

}  // namespace upd::sim
