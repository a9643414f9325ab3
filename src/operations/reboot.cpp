#include "operations/operations.h"

namespace upd {

int Reboot(const char* /*section*/, UpdateInfo* /*info*/) {
  return 1;
}

}  // namespace upd
