// The build's own date, shown in the banner.
#pragma once

namespace upd {

// ctime form in UTC ("Sun Dec  6 17:40:00 2026"), or the instant that
// SOURCE_DATE_EPOCH names. The build generates its definition
// (cmake/build_date.cmake) whenever the library changes, not at configure
// time, so configuring an unchanged tree again rebuilds nothing.
extern const char kBuildDate[];

}  // namespace upd
