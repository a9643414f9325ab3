// src/diag: diagnostics: the debug-print facility, the one-line error log and
// its queue, date formatting and timing.
//
// The debug-print facility: one formatted diagnostic line per call, tagged with
// the calling thread's name, the source file, line and function and, when
// enabled, a time stamp.
//
// The bit set dpr_stat decides which levels print, where lines go, their layout
// and whether the facility pauses after each line:
//
//   level 1, 2, 7   always: header, message, line end, to the destination stream
//   level 3         while DPR_MESG is set; as level 1
//   level 4         while DPR_LEVEL4 is set; as level 1
//   level 5         always: the message alone, no header, no line end added
//   level 6         while DPR_QUEUE is set: header, message and the two
//                   characters backslash and 'n', into the message queue
//                   (written out by LogMessages)
//   0, 8 and above  nothing on the stream; only the error-log copy
//
// Every accepted level but 6 is also copied to the diagnostic error log while
// DPR_ERRLOG is set (level 5 bare, the rest as level 1 would print). The log is
// opened in append mode on the first line that needs it; when it cannot be
// opened, DPR_ERRLOG is cleared and no copy is made.
//
// Layouts (thread, file's last path component, line, function, time stamp):
//   short: "%-6s :: %-14s @%4d :: %-16s :: %-12s :: %s"   (without TIME:
//          "%-6s :: %-14s @%4d :: %-16s :: %s")
//   long:  "THREAD %-6s :: FILE %-14s @%4d :: FUNC %-16s :: TIME %s\n  %s"
//          (without TIME: "THREAD %-6s :: FILE %-14s @%4d :: FUNC %s\n  %s")
// The line end is a newline ("\\n" text for level 6), unless the caller's format
// is longer than one character and ends in the two characters '\\' 'n'. A
// format that ends in a newline character therefore gets a second one.
//
// Time stamps (DPR_TIME), local time: "YYYY-Mon-DD HH:MM:SS.mmm" with DPR_DATE,
// else "seconds.micros" since the epoch with DPR_EPOCH, else "HH:MM:SS.mmm". A
// clock outside the years 1970..2069 cannot be shown in the first and the last
// form: the facility then says so once on standard error, clears DPR_TIME and
// prints the line without a time stamp.
//
// Bounds: the message is cut at 1023 characters. A level-6 line is cut at 1279
// characters (queued cut, never dropped), whichever of its fields is long.
// Nothing is ever written to a null stream: with a null caller's stream the
// line goes only to the debug file or the error log, if they apply.
//
// The "./.dpr" name list is loaded and kept (DprFilter()), but dpr() does not
// consult it: every line prints as the bits say.
//
// dpr() serialises on one mutex, held during the DPR_SLEEP pause too, so lines
// of concurrent callers never mix. The bits and the delay are atomic, so
// dpr_config and dpr_sleep may change them at any time; reloading the name list
// is meant for start-up, before anyone reads DprFilter().
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace upd {

inline constexpr std::uint32_t DPR_LONG = 0x001;       // long layout
inline constexpr std::uint32_t DPR_MESG = 0x002;       // level 3 prints
inline constexpr std::uint32_t DPR_LEVEL4 = 0x004;     // level 4 prints
inline constexpr std::uint32_t DPR_QUEUE = 0x008;      // level 6 is queued
inline constexpr std::uint32_t DPR_ERRLOG = 0x010;     // copy lines to the error log
inline constexpr std::uint32_t DPR_DEBUGFILE = 0x020;  // the debug file replaces the stream
inline constexpr std::uint32_t DPR_FILTER = 0x040;     // load the "./.dpr" list
inline constexpr std::uint32_t DPR_FLUSH = 0x080;      // flush the destination per line
inline constexpr std::uint32_t DPR_SLEEP = 0x100;      // pause dpr_delay ms per accepted call
inline constexpr std::uint32_t DPR_TIME = 0x200;       // time stamps
inline constexpr std::uint32_t DPR_DATE = 0x400;       // ... with the date
inline constexpr std::uint32_t DPR_EPOCH = 0x800;      // ... as epoch seconds (without DPR_DATE)

/// The facility's bit set; 0 at start. Bits above 0x800 have no effect.
extern std::atomic<std::uint32_t> dpr_stat;

/// The DPR_SLEEP pause in milliseconds; 10 at start.
extern std::atomic<std::uint16_t> dpr_delay;

/// Mode 1 sets the bits of `mask`, mode 0 clears them, other modes do nothing.
/// Setting DPR_FILTER (re)loads the "./.dpr" list, one name per line as the
/// line reader gives it (no comments; an empty line is an empty name): a
/// missing file leaves the list empty and the bit set; an unreadable one, or
/// no memory, leaves the list empty and clears the bit. Clearing DPR_FILTER
/// keeps the list.
void dpr_config(int mode, unsigned int mask);

/// Sets dpr_delay.
void dpr_sleep(unsigned short ms);

/// Prints one message (see above). `file` is the source path, printed as its
/// last component ("." for a null or empty path), `func` the function (null
/// prints as ""), `line` the source line, `fmt` and the arguments a
/// printf format and its values; a null `fmt` prints nothing. Returns 0.
int dpr(unsigned short level, std::FILE* stream, const char* file, const char* func, int line,
        const char* fmt, ...) __attribute__((format(printf, 6, 7)));

/// One entry of the "./.dpr" list.
inline constexpr std::uint16_t kFilterSourceFile = 1;  // ends ".cpp", ".c" or ".h" (case matters)
inline constexpr std::uint16_t kFilterOtherName = 2;
struct FilterEntry {
  std::uint16_t kind;
  char* name;  // owned by the list
  FilterEntry* next;
};

/// The loaded list, in file order; nullptr when empty. Valid until the next
/// dpr_config() that sets DPR_FILTER.
[[nodiscard]] const FilterEntry* DprFilter();

}  // namespace upd

/// dpr() with the caller's file, function and line:
///   DPR(3, stderr, "mounted %s", device);
#define DPR(level, stream, ...) \
  ::upd::dpr((level), (stream), __FILE__, __func__, __LINE__, __VA_ARGS__)
