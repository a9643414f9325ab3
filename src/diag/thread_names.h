// A small table of thread names for the header of debug lines.
//
// Sixteen rows of an id and a name of at most 15 characters, filled in order
// and never removed. A name occurs in at most one row; an id may occur in
// several, and the earliest row wins on lookup. The table has its own lock, so
// threads may register while others print.
//
// The id of "the caller" is the calling thread's kernel id (gettid()). For the
// process's first thread that is the process id, as getpid() gives it; unlike
// getpid() it tells the other threads apart, so each shows its own name.
#pragma once

namespace upd {

inline constexpr int kThreadTableRows = 16;
inline constexpr int kThreadNameSize = 16;  // at most 15 characters

/// Registers `name` for `id`. An already registered name moves to `id` (its row
/// is kept). Returns 1, or 0 and changes nothing for a null name, a name longer
/// than 15 characters or a new name when all 16 rows are in use.
[[nodiscard]] int SetThreadName(unsigned long id, const char* name);
/// The same for the calling thread.
[[nodiscard]] int SetThreadName(const char* name);

/// The name of the first row registered for `id`, or nullptr. The text belongs
/// to the table and stays valid for the life of the process.
[[nodiscard]] const char* GetThreadName(unsigned long id);
/// The same for the calling thread.
[[nodiscard]] const char* GetThreadName();

}  // namespace upd
