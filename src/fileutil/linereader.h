// The line reader that every text file of the updater passes through (the
// manifest, merged configuration files, the debug-print list), and two readers
// that turn a whole file into a linked list of lines.
//
// What a line is, for every caller: the bytes up to a line feed (not stored) or
// the end of input. Carriage returns are dropped wherever they stand, tabs are
// expanded to spaces up to the next multiple of 8 columns (counted from 0), and
// trailing blanks (spaces, tabs) are removed; leading blanks stay. A NUL byte
// is stored like any other byte, so the text as C string functions see it ends
// there.
#pragma once

#include <cstdio>

namespace upd {

/// nextline() flags, may be combined.
inline constexpr int kSkipBlankLines = 1;    // skip lines that are empty or all blanks
inline constexpr int kSkipCommentLines = 2;  // skip lines whose first non-blank is '#' or ';'

/// nextline() results other than a length.
inline constexpr int kLineEnd = -1;      // end of input: nothing more to deliver
inline constexpr int kLineTooLong = -2;  // more than size - 1 characters, not skipped
inline constexpr int kLineError = -3;    // bad arguments or a read error on the stream

/// Reads the next line of `stream` into `buffer` (`size` bytes, at least 2).
/// Returns the length of the line stored (0 for an empty or all-blank line), or:
///   kLineEnd      at end of input (a last line without a line feed is still
///                 delivered; an empty remainder after the last one is not);
///   kLineTooLong  when a non-blank character follows the first size - 1
///                 stored characters; `buffer` then holds those size - 1
///                 characters untrimmed, and the rest of the line is consumed;
///   kLineError    for a null stream or buffer, a size below 2, or a read error.
/// Lines skipped under `flags` are counted in *skipped, which is set to 0 first;
/// `skipped` may be null. The tests look at the stored text before trimming, as
/// C string functions see it. The comment test is made for over-long lines too,
/// so a long comment is skipped rather than refused; an over-long line is never
/// blank, so one whose stored text is all blanks (up to its end or a NUL) is
/// refused like any other. The stream is left at the start of the next line and
/// is never closed.
/// Example: "x\ty  \r\n" gives "x" + 7 spaces + "y", result 9.
[[nodiscard]] int nextline(std::FILE* stream, char* buffer, int size, int flags, int* skipped);

/// Size of the whole-file readers' line buffer: lines of at most 511 characters.
inline constexpr int kWholeFileLineSize = 512;

/// One line of a file, in file order. `text` is malloc'd and owned by the node;
/// a caller may take it over and null the field.
struct LineList {
  char* text;
  LineList* next;
};

/// One line of a file split into its first word and the rest: `word` followed by
/// `rest` is exactly the line as the line reader delivered it. Both malloc'd.
struct LineList2 {
  char* word;
  char* rest;
  LineList2* next;
};

/// Reads the file at `path` into a list of its lines, blank and comment lines
/// included (flags 0). Returns 1 and stores the head in *head (null for a file
/// without lines). Returns 0, leaving *head unwritten, when `head` is null, the
/// file cannot be opened or read, a line has more than 511 characters (trailing
/// blanks not counted), memory runs out, or closing the file fails.
[[nodiscard]] int ReadFile(const char* path, LineList** head);

/// As ReadFile, but each line is split with SplitString on the separators
/// space, tab and '(' (so "Name(1,2)" gives "Name" and "(1,2)").
[[nodiscard]] int ReadFile2(const char* path, LineList2** head);

/// Releases every node with its strings (null strings skipped) and nulls *head;
/// a null `head` is ignored.
void FreeFile(LineList** head);
void FreeFile2(LineList2** head);

}  // namespace upd
