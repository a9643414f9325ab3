// Splitting name=value text into lists, and expanding command words into their
// long and short forms.
//
// In namespace upd::str: call as str::nvlist1(...) inside namespace upd (see
// strcompare.h for why the helpers are never called unqualified). Everything
// made here is malloc'd; each result has one release function. The linked lists
// are released through the address of their head, which is then set to null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace upd::str {

/// Flag bit 0 of both flag words: the item was ended by ";".
inline constexpr std::uint16_t kNvSemicolon = 0x0001;
/// A position that is absent.
inline constexpr std::uint16_t kNvAbsent = 65535;
/// Longest text nvlist1 and nvlist2 accept: every position must fit 16 bits
/// and stay apart from kNvAbsent.
inline constexpr std::size_t kNvMaxText = 65535;

/// One item of a parsed name/value text. Positions are offsets into that text.
struct nv {
  std::uint16_t flags;   // kNvSemicolon
  char* name;            // null when the item has no name
  char* value;           // null when the item has no value
  std::uint16_t flags2;  // kNvSemicolon, as in flags
  std::uint16_t name_at;
  std::uint16_t eq_at;
  std::uint16_t value_at;
  std::uint16_t semicolon_at;
  nv* next;
};

/// One text of a word expansion.
struct elist {
  char* text;
  elist* next;
};

/// *out receives a new null-terminated array with one string per "=" in s: the
/// word before it, the "=" and the word after it, with the spaces that lie
/// between a word and the "=" (words end at a space or an "="). A side without
/// a word contributes nothing, and a word that already ended the previous item
/// is not taken again. Examples: "a = 1 b = 2" -> {"a = 1", "b = 2"};
/// "a=b=c" -> {"a=b", "=c"}; "x= =y" -> {"x=", "=y"}. A null s gives an empty
/// array. 1, or 0 with *out null when memory runs out; 0 for a null out.
[[nodiscard]] int nvlist(const char* s, char*** out);
/// Frees the strings and the array; null is ignored.
void free_nvlist(char** list);

/// Parses s into items separated by ";", each a name, an "=" and a value, either
/// of which may be missing, and returns their number with the head in *out.
/// Names and values are trimmed of blanks; a name may hold inner blanks. When
/// a second "=" follows before any ";", the text between the two decides: with
/// several words its last word names the next item; with one word that word is
/// the value and the next item has no name; with none the item has no value.
/// An item with neither name nor value is dropped. 0 with a null head for a
/// null s, no items, a text longer than kNvMaxText, or when memory runs out.
/// Examples: "a = b c = d" -> a=b, c=d; "a = b = c" -> a=b, (none)=c;
/// "x y = 1 ; z" -> "x y"=1 (ended by ";"), z.
[[nodiscard]] int nvlist1(const char* s, nv** out);
/// As nvlist1, except that when the text before an "=" holds several words,
/// each word but the last becomes an item of its own: a name, no value, and
/// the position of that "=". Only the last word is paired with the value, and
/// only its item carries the ";" that ends the text. This holds whatever comes
/// after the "=" (a value, nothing, ";" or another "="). Words before a ";" or
/// the end without an "=" stay one name, and values are never split.
/// Examples: "x y = 1 ; z" -> x, y=1 (";"), z; "x y =" -> x, y (both at "=").
[[nodiscard]] int nvlist2(const char* s, nv** out);
/// Frees every item with its name and value and sets *list to null.
void free_nvlist1(nv** list);

/// The most texts nv_Explode makes (16 words with short forms); a longer
/// expansion gives null instead of exhausting memory.
inline constexpr std::size_t kMaxExplodeTexts = 65536;

/// A new list of every long and short form of a word sequence (words: an array
/// ended by a null pointer). A word longer than 4 characters has a short form:
/// its first 4 characters, or 3 when the fourth is a vowel. Each word with a
/// short form doubles the list, the first word varying fastest.
/// Example: {"MEASure", "VOLTage"} -> MEASureVOLTage, MEASVOLTage, MEASureVOLT,
/// MEASVOLT; {"Delay"} -> Delay, Del. Null for no words, a null array, more than
/// kMaxExplodeTexts texts, or when memory runs out.
[[nodiscard]] elist* nv_Explode(const char* const* words);
/// Frees every node and its text and sets *list to null.
void nv_ExplodeFree(elist** list);

/// Own lists from nvlist1/nvlist2 and nv_Explode.
struct NvListDeleter {
  void operator()(nv* list) const noexcept { free_nvlist1(&list); }
};
using NvListPtr = std::unique_ptr<nv, NvListDeleter>;
struct ElistDeleter {
  void operator()(elist* list) const noexcept { nv_ExplodeFree(&list); }
};
using ElistPtr = std::unique_ptr<elist, ElistDeleter>;

}  // namespace upd::str
