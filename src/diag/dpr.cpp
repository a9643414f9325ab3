#include "diag/dpr.h"

#include <array>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include "common/chartests.h"
#include "diag/clock.h"
#include "diag/datetime.h"
#include "diag/diag_internal.h"
#include "diag/diag_paths.h"
#include "diag/thread_names.h"
#include "diag/timing.h"
#include "fileutil/fileops.h"
#include "fileutil/linereader.h"

namespace upd {

std::atomic<std::uint32_t> dpr_stat{0};
std::atomic<std::uint16_t> dpr_delay{10};

namespace diag {
std::mutex dprMutex;
}  // namespace diag

namespace {

constexpr std::size_t kMessageSize = 1024;  // at most 1023 characters
constexpr std::size_t kStampSize = 32;
constexpr std::size_t kQueueLineSize = 1280;  // a level-6 line, at most 1279 characters
constexpr std::size_t kNameCopySize = 256;

constexpr unsigned short kLevelMesg = 3;
constexpr unsigned short kLevelFour = 4;
constexpr unsigned short kLevelBare = 5;
constexpr unsigned short kLevelQueue = 6;

FilePtr g_debugFile;  // fp_DebugFile: once open, kept open

// The "./.dpr" name list, malloc'd entries in file order.
class FilterList {
 public:
  FilterList() = default;
  FilterList(const FilterList&) = delete;
  FilterList& operator=(const FilterList&) = delete;
  ~FilterList() { Clear(); }

  void Clear() {
    while (head_ != nullptr) {
      FilterEntry* next = head_->next;
      std::free(head_->name);
      std::free(head_);
      head_ = next;
    }
    tail_ = &head_;
  }

  // Takes `name` over on success only.
  [[nodiscard]] bool Append(std::uint16_t kind, char* name) {
    auto* entry = static_cast<FilterEntry*>(std::malloc(sizeof(FilterEntry)));
    if (entry == nullptr) return false;
    *entry = FilterEntry{kind, name, nullptr};
    *tail_ = entry;
    tail_ = &entry->next;
    return true;
  }

  [[nodiscard]] const FilterEntry* head() const { return head_; }

 private:
  FilterEntry* head_ = nullptr;
  FilterEntry** tail_ = &head_;
};

FilterList g_filter;

struct LineListFree {
  void operator()(LineList* head) const noexcept { FreeFile(&head); }
};

void LoadFilter() {
  g_filter.Clear();
  if (exists(kDprListPath) == 0) return;
  LineList* read = nullptr;
  if (ReadFile(kDprListPath, &read) == 0) {
    dpr_stat &= ~DPR_FILTER;
    return;
  }
  const std::unique_ptr<LineList, LineListFree> lines(read);
  for (LineList* line = lines.get(); line != nullptr; line = line->next) {
    const bool source = Suffix(".cpp", line->text) != 0 || Suffix(".c", line->text) != 0 ||
                        Suffix(".h", line->text) != 0;
    if (!g_filter.Append(source ? kFilterSourceFile : kFilterOtherName, line->text)) {
      g_filter.Clear();
      dpr_stat &= ~DPR_FILTER;
      return;
    }
    line->text = nullptr;  // the entry owns it now
  }
}

constexpr bool Accepted(unsigned short level, std::uint32_t stat) {
  switch (level) {
    case kLevelMesg:
      return (stat & DPR_MESG) != 0;
    case kLevelFour:
      return (stat & DPR_LEVEL4) != 0;
    case kLevelQueue:
      return (stat & DPR_QUEUE) != 0;
    default:
      return true;
  }
}

// POSIX basename() without writing to the caller's text: the last component,
// "/" for slashes only, "." for a null or empty path.
const char* BaseName(const char* path, std::array<char, kNameCopySize>& copy) {
  if (path == nullptr || *path == '\0') return ".";
  const std::string_view text(path);
  const std::size_t last = text.find_last_not_of('/');
  if (last == std::string_view::npos) return "/";
  const std::size_t slash = text.rfind('/', last);
  const std::size_t first = slash == std::string_view::npos ? 0 : slash + 1;
  if (last + 1 == text.size()) return path + first;
  // Trailing slashes: the component is not a suffix of the text.
  std::snprintf(copy.data(), copy.size(), "%.*s", static_cast<int>(last + 1 - first), path + first);
  return copy.data();
}

const char* LineEnd(const char* fmt, unsigned short level) {
  const std::string_view format(fmt);
  if (format.size() > 1 && format.ends_with("\\n")) return "";
  return level == kLevelQueue ? "\\n" : "\n";
}

// The time stamp of a line, "" when the clock cannot be read. A time that
// cannot be shown is reported once: DPR_TIME goes off.
void BuildTimeStamp(std::uint32_t stat, std::array<char, kStampSize>& stamp) {
  timeval now{};
  if (diag::CurrentClock().Now(&now) != 0) return;
  if ((stat & DPR_DATE) == 0 && (stat & DPR_EPOCH) != 0) {
    std::snprintf(stamp.data(), stamp.size(), "%ld.%06ld", static_cast<long>(now.tv_sec),
                  static_cast<long>(now.tv_usec));
    return;
  }
  const char* tmpl = (stat & DPR_DATE) != 0 ? "yyyy-mon-dd" : "";
  int err = 0;
  if (FormatDateTime(now.tv_sec, tmpl, 1, stamp.data(), static_cast<unsigned short>(stamp.size()),
                     &err) == 0) {
    std::fprintf(stderr, "dpr : \"FormatDateTime\" failed, ErrorCode = %d\n", err);
    dpr_stat &= ~DPR_TIME;
    stamp[0] = '\0';
    return;
  }
  const std::size_t used = std::strlen(stamp.data());
  std::snprintf(stamp.data() + used, stamp.size() - used, ".%03lu",
                static_cast<unsigned long>(now.tv_usec) / 1000UL);
}

struct LineParts {
  const char* thread;
  const char* file;
  int line;
  const char* func;
  const char* stamp;  // nullptr: the layout without TIME
  const char* message;
  const char* end;
  bool longLayout;
};

// Prints the header layout, the message and the line end through `print`, a
// printf-like callable.
template <typename Print>
void Emit(const LineParts& l, Print print) {
  if (l.stamp != nullptr) {
    print(l.longLayout ? "THREAD %-6s :: FILE %-14s @%4d :: FUNC %-16s :: TIME %s\n  %s%s"
                       : "%-6s :: %-14s @%4d :: %-16s :: %-12s :: %s%s",
          l.thread, l.file, l.line, l.func, l.stamp, l.message, l.end);
  } else {
    print(l.longLayout ? "THREAD %-6s :: FILE %-14s @%4d :: FUNC %s\n  %s%s"
                       : "%-6s :: %-14s @%4d :: %-16s :: %s%s",
          l.thread, l.file, l.line, l.func, l.message, l.end);
  }
}

void PrintLine(std::FILE* out, const LineParts& parts) {
  Emit(parts, [out](const char* format, auto... args) { std::fprintf(out, format, args...); });
}

void FlushIfAsked(std::FILE* out) {
  if ((dpr_stat & DPR_FLUSH) != 0) std::fflush(out);
}

// The caller's stream, or the debug file while DPR_DEBUGFILE is set and it can
// be opened.
std::FILE* Destination(std::FILE* stream) {
  if ((dpr_stat & DPR_DEBUGFILE) == 0) return stream;
  if (!g_debugFile) g_debugFile.reset(OpenFile(kDebugFilePath, "a"));
  if (!g_debugFile) {
    dpr_stat &= ~DPR_DEBUGFILE;
    return stream;
  }
  return g_debugFile.get();
}

void CopyToErrorLog(const LineParts& parts, bool bare) {
  std::FILE* log = diag::ErrorLogStream();
  if (log == nullptr) {
    dpr_stat &= ~DPR_ERRLOG;
    return;
  }
  if (bare) {
    std::fputs(parts.message, log);
  } else {
    PrintLine(log, parts);
  }
  diag::ErrorLogLineWritten();
}

}  // namespace

void dpr_config(int mode, unsigned int mask) {
  if (mode == 0) {
    dpr_stat &= ~mask;
  } else if (mode == 1) {
    dpr_stat |= mask;
    if ((mask & DPR_FILTER) != 0) LoadFilter();
  }
}

void dpr_sleep(unsigned short ms) {
  dpr_delay = ms;
}

const FilterEntry* DprFilter() {
  return g_filter.head();
}

int dpr(unsigned short level, std::FILE* stream, const char* file, const char* func, int line,
        const char* fmt, ...) {
  const std::lock_guard lock(diag::dprMutex);
  if (!Accepted(level, dpr_stat) || fmt == nullptr) return 0;

  const char* thread = GetThreadName();
  std::array<char, kMessageSize> message{};
  va_list args;
  va_start(args, fmt);
  if (std::vsnprintf(message.data(), message.size(), fmt, args) < 0) message[0] = '\0';
  va_end(args);

  const bool bare = level == kLevelBare;
  std::array<char, kStampSize> stamp{};
  if (!bare && (dpr_stat & DPR_TIME) != 0) BuildTimeStamp(dpr_stat, stamp);
  const std::uint32_t stat = dpr_stat;  // after a failed time stamp turned DPR_TIME off
  std::array<char, kNameCopySize> fileName{};
  const LineParts parts{thread != nullptr ? thread : "???",
                        BaseName(file, fileName),
                        line,
                        func != nullptr ? func : "",
                        (stat & DPR_TIME) != 0 ? stamp.data() : nullptr,
                        message.data(),
                        LineEnd(fmt, level),
                        (stat & DPR_LONG) != 0};

  std::FILE* out = Destination(stream);
  switch (level) {
    case 1:
    case 2:
    case kLevelMesg:
    case kLevelFour:
    case 7:
      if (out != nullptr) {
        PrintLine(out, parts);
        FlushIfAsked(out);
      }
      break;
    case kLevelBare:
      if (out != nullptr) {
        std::fputs(message.data(), out);
        FlushIfAsked(out);
      }
      break;
    case kLevelQueue: {
      // Cut at the buffer, as the message itself is cut: a long line is kept.
      std::array<char, kQueueLineSize> queued{};
      Emit(parts, [&queued](const char* format, auto... values) {
        std::snprintf(queued.data(), queued.size(), format, values...);
      });
      diag::EnqueueMessage(queued.data());
      break;
    }
    default:
      break;
  }

  if ((dpr_stat & DPR_ERRLOG) != 0 && level != kLevelQueue) CopyToErrorLog(parts, bare);
  if ((dpr_stat & DPR_SLEEP) != 0 && dpr_delay != 0) msleep(dpr_delay);
  return 0;
}

namespace diag {

void ResetForTesting() {
  ResetErrorLog();
  {
    const std::lock_guard lock(dprMutex);
    g_debugFile.reset();
  }
  g_filter.Clear();
  dpr_stat = 0;
  dpr_delay = 10;
  ResetThreadNames();
}

}  // namespace diag

}  // namespace upd
