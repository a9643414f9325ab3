// How an operation reads the keys of its manifest section: one table row per
// key with its buffer size and the codes it fails with. The operations and the
// release engineers' medium checker both read sections through these rows, so
// a key's limit or code lives in one place.
#pragma once

#include <string_view>

namespace upd {

/// One key of an operation's section.
struct KeyRule {
  const char* name;
  int size;         // value buffer: values of at most size - 1 characters
  int tooLongCode;  // code for a value that does not fit (or a bad switch value)
  int missingCode;  // code for an absent key; 0 when the key may be absent
  bool isSwitch;    // "true" or "false", in any case
};

/// What a section holds for one key.
enum class KeyState {
  kAbsent,     // no such key (or no such section): value untouched
  kPresent,    // the value is in the buffer
  kTooLong,    // the value does not fit the rule's size: value untouched
  kBadSwitch,  // a switch whose value is neither "true" nor "false"
};

/// Looks up `rule.name` in `section` into `value` (rule.size bytes).
/// Example: a switch 'TRUE' is kPresent; 'yes' and '' are kBadSwitch.
[[nodiscard]] KeyState LookUpKey(const char* section, const KeyRule& rule, char* value);

/// true for "true" in any case; meaningful only for a value that passed
/// LookUpKey as kPresent.
[[nodiscard]] bool SwitchOn(std::string_view value);

}  // namespace upd
