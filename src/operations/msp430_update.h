// "MSP430Update": programs the microcontroller through the JTAG commands that
// the manifest names.
#pragma once

#include <array>
#include <cstddef>

#include "common/error_codes.h"
#include "integrity/digest_check.h"
#include "manifest/key_rules.h"

namespace upd {

struct UpdateInfo;

/// "MSP430Update" keys, looked up in this order; a value too long or a missing
/// command stops at once with the key's own code. "DataPath1", the file the
/// commands program, and its digests may be absent; a value of theirs too
/// long stops with 666, like a "CommandJTAG" too long, since nothing may run.
inline constexpr std::array<KeyRule, 6> kMsp430Keys = {{
    {"CommandJTAG", 128, kErrMspJtagValue, kErrMspJtagValue, false},
    {"Command1", 128, kErrMspCommand1, kErrMspCommand1, false},
    {"Command2", 128, kErrMspCommand2, kErrMspCommand2, false},
    {"DataPath1", 514, kErrMspJtagValue, 0, false},
    {"MD5Hash", kDigestValueSize, kErrMspJtagValue, 0, false},
    {"SHA256Hash", kDigestValueSize, kErrMspJtagValue, 0, false},
}};
enum Msp430Key : std::size_t {
  kMspJtag,
  kMspCommand1,
  kMspCommand2,
  kMspDataPath,
  kMspMd5Hash,
  kMspSha256Hash
};

/// "MSP430Update": runs "CommandJTAG" (its failure stops the run with 667), then
/// "Command1", and "Command2" up to twice while the previous command failed. A
/// command of 128 characters or more, or a missing one, stops the run with that
/// entry's code (666, 646, 647) before anything runs; so does a "DataPath1" of
/// 514 characters or more, or a digest of 512 or more (666). With an "MD5Hash"
/// or "SHA256Hash" entry, the file "DataPath1" names must match it before
/// "CommandJTAG" runs: 645 when it does not, cannot be read, or no "DataPath1"
/// names it (nothing could be verified). A failed "Command1" alone is silent,
/// since "Command2" is its fallback; 641 when "Command1" and both runs of
/// "Command2" failed.
/// Returns 1 when the step is done, leaving info->error as it was; otherwise 0
/// with the code in info->error.
[[nodiscard]] int MSP430Update(const char* section, UpdateInfo* info);

}  // namespace upd
