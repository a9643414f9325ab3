#include "manifest/key_rules.h"

#include "manifest/store.h"
#include "strutil/strcompare.h"

namespace upd {

KeyState LookUpKey(const char* section, const KeyRule& rule, char* value) {
  bool found = false;
  if (GetAuxInfo(section, rule.name, value, rule.size, &found) == 0) return KeyState::kTooLong;
  if (!found) return KeyState::kAbsent;
  if (rule.isSwitch && !str::EqualFolded(value, "true") && !str::EqualFolded(value, "false")) {
    return KeyState::kBadSwitch;
  }
  return KeyState::kPresent;
}

bool SwitchOn(std::string_view value) {
  return str::EqualFolded(value, "true");
}

}  // namespace upd
