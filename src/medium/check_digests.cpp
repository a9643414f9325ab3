#include "medium/check_digests.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/chartests.h"
#include "common/instrument_paths.h"
#include "integrity/file_digests.h"
#include "integrity/md5.h"
#include "integrity/sha256.h"
#include "manifest/store.h"
#include "medium/medium_paths.h"

namespace upd::medium {

namespace {

constexpr const char kMd5Key[] = "MD5Hash";
constexpr const char kSha256Key[] = "SHA256Hash";

struct DigestEntry {
  const char* key;
  std::size_t digits;  // of its text form
  const AuxEntry* entry;
};

// The only text a digest of the updater's can equal: it compares the values
// byte for byte with lower-case hexadecimal text.
bool IsDigestText(std::string_view value, std::size_t digits) {
  return value.size() == digits && std::all_of(value.begin(), value.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

}  // namespace

bool HasDigests(const char* section) {
  return FindAuxEntry(section, kMd5Key) != nullptr || FindAuxEntry(section, kSha256Key) != nullptr;
}

bool CheckDataDigests(StepContext& ctx, const char* section, const DataFile& file, int code) {
  const std::array<DigestEntry, 2> entries = {{
      {kMd5Key, kMd5TextSize - 1, FindAuxEntry(section, kMd5Key)},
      {kSha256Key, kSha256TextSize - 1, FindAuxEntry(section, kSha256Key)},
  }};
  if (entries[0].entry == nullptr && entries[1].entry == nullptr) return false;
  const auto report = [&](const DigestEntry& d, const std::string& why) {
    if (d.entry == nullptr) return;
    ctx.findings.Error(d.entry->line, code, section,
                       std::string(d.key) + " is '" + d.entry->value + "'" + why);
  };
  const std::string named = file.what + " " + file.path;
  if (file.path.empty()) {
    for (const DigestEntry& d : entries) {
      report(d, ", but no " + file.what + " names the file it is for: nothing can be verified");
    }
    return true;
  }
  const auto found = LookAtMedium(ctx.options.medium, file.path);
  if (!found) {
    // The instrument's own file: only a value no digest can equal is sure to fail.
    for (const DigestEntry& d : entries) {
      if (d.entry == nullptr || IsDigestText(d.entry->value, d.digits)) continue;
      report(d, ", which is no digest (" + std::to_string(d.digits) +
                    " lower-case hexadecimal digits): no file matches it");
    }
    return true;
  }
  if (found->state != MediumState::kFile) {
    if (found->state == MediumState::kUnreadable) ctx.named.insert(found->odd);
    for (const DigestEntry& d : entries) {
      report(d, ", but " + named + NotAFileText(*found) + ": nothing can be verified");
    }
    return true;
  }
  // Nothing but a regular file is opened, and each digest only when asked for.
  char md5[kMd5TextSize] = {};
  char sha256[kSha256TextSize] = {};
  const bool hashed = HashFile(found->host.c_str(), entries[0].entry != nullptr ? md5 : nullptr,
                               entries[1].entry != nullptr ? sha256 : nullptr) != 0;
  const std::array<const char*, 2> actual = {hashed ? md5 : nullptr, hashed ? sha256 : nullptr};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DigestEntry& d = entries[i];
    if (d.entry == nullptr) continue;
    if (actual[i] == nullptr) {
      report(d, ", but " + found->host + " cannot be read: nothing can be verified");
    } else if (std::strcmp(d.entry->value, actual[i]) != 0) {
      report(d, ", " + named + " has " + actual[i]);
    }
  }
  return true;
}

void WarnUncovered(StepContext& ctx, const char* section, const std::optional<DataFile>& file,
                   bool covered, std::initializer_list<const char*> commands) {
  if (ctx.options.keyPath.empty()) return;
  if (const AuxEntry* md5 = FindAuxEntry(section, kMd5Key);
      md5 != nullptr && FindAuxEntry(section, kSha256Key) == nullptr) {
    ctx.findings.Warning(md5->line, section,
                         "MD5Hash without SHA256Hash: the signature covers the file through MD5 "
                         "alone, whose collisions can be made; add SHA256Hash");
  }
  std::optional<std::string> verified;  // the file on the medium the step checks
  if (file) {
    const auto host = OnMedium(ctx.options.medium, file->path);
    if (host && covered) verified = host;
    if (host && !covered) {
      ctx.findings.Warning(file->line, section,
                           file->what + " " + file->path +
                               " has no MD5Hash or SHA256Hash: the signature does not cover "
                               "it, and a changed file is used unseen");
    }
  }
  const std::string mount = std::string(kMountPoint) + "/";
  for (const char* key : commands) {
    const AuxEntry* entry = FindAuxEntry(section, key);
    if (entry == nullptr) continue;
    std::vector<std::string> paths;
    const std::string_view text = entry->value;
    for (std::size_t at = 0; at < text.size();) {
      while (at < text.size() && IsBlankChar(text[at])) ++at;
      std::size_t end = at;
      while (end < text.size() && !IsBlankChar(text[end])) ++end;
      const std::string word(text.substr(at, end - at));
      at = end;
      if (!word.starts_with(mount)) continue;
      const auto host = OnMedium(ctx.options.medium, word);
      if (!host || host == verified) continue;
      if (std::find(paths.begin(), paths.end(), word) == paths.end()) paths.push_back(word);
    }
    if (paths.empty()) continue;
    std::string list;
    for (const std::string& path : paths) list += (list.empty() ? "" : ", ") + path;
    ctx.findings.Warning(entry->line, section,
                         std::string(key) + " hands " + list +
                             " to a command, and no DataPath1 with a digest names it: the "
                             "signature does not cover it");
  }
}

}  // namespace upd::medium
