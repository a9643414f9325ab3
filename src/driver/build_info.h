// What the build knows about itself: the date in the banner, the release.
#pragma once

namespace upd {

// ctime form in UTC ("Sun Dec  6 17:40:00 2026"), or the instant that
// SOURCE_DATE_EPOCH names. The build generates its definition
// (cmake/build_date.cmake) whenever the library changes, not at configure
// time, so configuring an unchanged tree again rebuilds nothing.
extern const char kBuildDate[];

// The release this build belongs to, "MAJOR.MINOR.PATCH" as the CMake project
// names it (cmake/release_version.cpp.in): update-sim and update-medium print
// it, and the Debian packages carry it. The updater's banner keeps its own
// version string (kVersion), which the instrument's conventions fix.
extern const char kReleaseVersion[];

}  // namespace upd
