// The update manifest reader: parses the manifest text file once into the
// manifest store (store.h).
//
// The file is read with nextline() (linereader.h), 256-byte buffer, blank and
// comment lines skipped: carriage returns dropped, tabs expanded, trailing
// blanks removed, at most 255 characters a line; bytes are taken as they are
// (a byte-order mark is part of the first line). Every other line is
//   - an entry when it contains '=' anywhere: "Name = Value", split by nvline;
//   - otherwise a section header: the whole line, leading blanks included, is
//     the section's name ("[Main]" names a section "[Main]").
// Entries belong to the section of the most recent header. Repeated sections
// and keys are all stored in file order; the lookups find the first.
#pragma once

namespace upd {

/// Line buffer of the reader and size of nvline's two buffers there.
inline constexpr int kManifestLineSize = 256;

/// The largest manifest read, in bytes: a real one holds a few KB, and
/// 100,000 short steps fit. A larger file is refused before a byte of it is
/// read, so that no stick can make the parsed store exhaust the instrument's
/// memory: the store costs at most 8 bytes per manifest byte on the 32-bit
/// instrument (a file of one-character section lines), so the largest
/// admitted manifest stays below 64 MiB.
inline constexpr long long kMaxManifestBytes = 8'000'000;

/// Why a manifest could not be read, for tools that explain it.
enum class ManifestReadFailure {
  kNone,
  kCannotOpen,
  kOverLongLine,       // a line that is not a comment has more than 255 characters
  kReadError,          // the stream reported an error, or closing failed
  kEntryBeforeHeader,  // an entry line comes before the first section header
  kNoMemory,
  kBadName,   // nvline refused a part (cannot happen with the reader's sizes)
  kTooLarge,  // the file has more than kMaxManifestBytes bytes
};

struct ManifestReadError {
  ManifestReadFailure failure = ManifestReadFailure::kNone;
  int line = 0;         // the line it happened on, from 1; 0 when no line applies
  long long bytes = 0;  // kTooLarge: the file's size
};

/// Reads and parses the manifest at `path`. On success the result replaces the
/// store's content (InstallAuxInfo) and 1 is returned. Returns 0, with the
/// store untouched and nothing left open or allocated, when the file cannot be
/// opened, is larger than kMaxManifestBytes (known from the file system, read
/// not at all), a non-comment line has more than 255 characters, the stream reports
/// a read error, closing fails, an entry comes before the first header, or
/// memory runs out. An empty file, or one of only blank and comment lines,
/// gives 1 and an empty store.
/// Every section and entry records the line it came from (physical lines of
/// the file, from 1, whatever was skipped).
[[nodiscard]] int ReadAuxInfo(const char* path);

/// ReadAuxInfo() that also says, on 0, why and where in *error (may be null).
[[nodiscard]] int ReadAuxInfo(const char* path, ManifestReadError* error);

/// ReadAuxInfo() of `length` bytes in memory (the manifest's bytes as they were
/// verified), with the same results (more than kMaxManifestBytes give 0); no
/// bytes at all give an empty store.
[[nodiscard]] int ReadAuxInfoBytes(const unsigned char* data, unsigned int length);

/// Splits one name=value line. The name is the text before the first '=' (or
/// the whole line when there is none), the value the text after it; both are
/// stripped of blanks at either end, and further '=' belong to the value.
/// `name` and `value` are the caller's buffers of nameSize and valueSize bytes.
/// Both are set to "" first; a null line leaves them so and returns 1.
///   - 1: both parts fitted;
///   - 0: the name has nameSize characters or more (its first nameSize - 1
///        are stored, the value stays ""), or the value has valueSize or more
///        (its first valueSize - 1 are stored); also for a null buffer or a
///        size below 1, which leaves that buffer untouched.
/// Example: "  URL =  a=b " gives name "URL" and value "a=b"; "= x" gives an
/// empty name and "x"; "Key =" gives "Key" and "".
[[nodiscard]] int nvline(const char* line, char* name, int nameSize, char* value, int valueSize);

}  // namespace upd
