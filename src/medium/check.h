// update-medium check: every refusal the instrument would make before it
// touches a file, found on the release engineer's machine, and the steps the
// instrument would run.
#pragma once

#include <cstdio>
#include <string>

namespace upd::medium {

/// The instrument's command line that the check assumes.
struct CheckOptions {
  std::string medium;     // folder holding the stick's files (MEDIUM/firmware/AuxInfo.txt)
  std::string keyPath;    // public key for the signature gate (-s); "" for none
  std::string timestamp;  // the installed build (-t), already validated; "" for none
  bool force = false;     // -f
};

/// Reads the medium's manifest with the updater's own reader, signature gate
/// and sequence expansion, judges every step with the operations' own key
/// tables and rules, and writes the findings (findings.h), then the steps in
/// run order with what each would do, then a count, to `out`.
/// Returns 0 when nothing would be refused, 1 when something would.
/// Uses the process's manifest store and leaves it empty.
[[nodiscard]] int CheckMedium(const CheckOptions& options, std::FILE* out);

}  // namespace upd::medium
