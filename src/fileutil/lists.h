// Splitters: a line into its first word and the rest, and a delimited list into
// trimmed items. Blanks are spaces and tabs (see chartests.h).
#pragma once

#include <memory>

namespace upd {

/// Cuts `s` after its first word, losing nothing: *word gets everything from
/// the start up to the first separator after the first word (leading separators
/// included), *rest everything from there on (starting with that separator, or
/// empty). A null `s` gives two empty strings. Both results are malloc'd.
/// Returns 1, or 0 when memory runs out or an out pointer is null; the out
/// pointers are then not written.
/// Example: with " \t(": "Key value" -> "Key" + " value"; "  Key value" ->
/// "  Key" + " value"; "Name(1,2)" -> "Name" + "(1,2)"; "(x) y" -> "(x)" + " y".
[[nodiscard]] int SplitString(const char* s, const char* separators, char** word, char** rest);

/// Splits `s` in place at `delimiter`: each item is trimmed of blanks on both
/// sides and ended with a NUL written into `s`; offsets[i] is the byte offset
/// of item i. `offsets` needs one slot per item: one more than the number of
/// delimiters in `s` is always enough. An empty item before the first or
/// between two delimiters is an empty string; blanks after the last delimiter
/// make no item. Returns the number of items (0 for a null, empty or all-blank
/// `s`, or a null `offsets`), or -1, leaving `s` unchanged, for a delimiter
/// that is NUL, a space or a tab.
/// Example (comma): "a, b ,c" -> 3 items "a","b","c"; "a,,b" -> "a","","b";
/// "a,b," -> 2 items; ",a" -> "","a".
[[nodiscard]] int mklist(char* s, int* offsets, char delimiter);

/// As mklist, on a copy: returns a malloc'd array of separately malloc'd item
/// strings ended by a null pointer, to be released with free_mklist1. Returns
/// null for a null or empty `s`, a refused delimiter, a list without items, or
/// when memory runs out (nothing is then left allocated).
/// Example: mklist1(" A , B ", ',') -> {"A", "B", nullptr}.
[[nodiscard]] char** mklist1(const char* s, char delimiter);

/// Frees each string up to the null terminator, then the array; null is ignored.
void free_mklist1(char** list);

/// Owns an array made by mklist1.
struct MklistDeleter {
  void operator()(char** list) const noexcept { free_mklist1(list); }
};
using MklistPtr = std::unique_ptr<char*, MklistDeleter>;

}  // namespace upd
