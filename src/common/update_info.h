// src/common: what every layer shares, at the bottom: the run record and its
// flags, the error codes, the instrument's paths, heap strings and character tests.
//
// The record of one update run and the driver's process-wide flags.
#pragma once

#include <cstdint>

namespace upd {

struct Section;  // a step of the sequence (manifest/store.h)

inline constexpr std::uint32_t UPD_FORCE = 0x001;            // -f: skip the timestamp check
inline constexpr std::uint32_t UPD_MSG_ALL = 0x002;          // -mm
inline constexpr std::uint32_t UPD_MSG = 0x004;              // -m
inline constexpr std::uint32_t UPD_SSL_CHECK = 0x008;        // -s: verify the manifest signature
inline constexpr std::uint32_t UPD_DEVICE_SET = 0x010;       // a value followed -d
inline constexpr std::uint32_t UPD_TIMESTAMP_SET = 0x020;    // a value followed -t
inline constexpr std::uint32_t UPD_HELP = 0x040;             // -h
inline constexpr std::uint32_t UPD_TIMESTAMP_OLDER = 0x100;  // a transfer found an older build
inline constexpr std::uint32_t UPD_TIMESTAMP_SAME = 0x200;   // a transfer found the same build

inline constexpr int kDeviceSize = 64;     // at most 63 characters
inline constexpr int kTimestampSize = 32;  // at most 31 characters

struct UpdateInfo {
  char device[kDeviceSize];        // block device node of the medium
  char timestamp[kTimestampSize];  // -t value, "" when not given
  std::int32_t error;              // 0 = none
  Section* sections;               // the step sequence, owned by the driver
  std::uint32_t flags;             // UPD_* bits
};

/// Ends an operation that works out a code (0: done): 1 when `code` is 0,
/// leaving info->error as it was; otherwise 0 with the code in info->error.
[[nodiscard]] inline int FinishStep(int code, UpdateInfo* info) {
  if (code == 0) return 1;
  info->error = code;
  return 0;
}

/// The medium is mounted at "/mnt".
extern bool Mounted;
/// The manifest store holds the loaded manifest.
extern bool AuxInfo;

}  // namespace upd
