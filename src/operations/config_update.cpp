#include "operations/config_update.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/chartests.h"
#include "common/error_codes.h"
#include "common/update_info.h"
#include "fileutil/fileops.h"
#include "fileutil/linereader.h"
#include "manifest/store.h"
#include "operations/replace.h"

namespace upd {

namespace {

enum KeyIndex : std::size_t {
  kSrcDir,
  kSrcFile,
  kDestDir,
  kDestFile,
  kBackupDir,
  kBackupFile,
  kMd5Hash,
  kSha256Hash
};

using Value = std::array<char, kDigestValueSize>;
using Path = std::array<char, kConfigPathSize>;

struct LineList2Deleter {
  void operator()(LineList2* head) const noexcept { FreeFile2(&head); }
};
using Lines = std::unique_ptr<LineList2, LineList2Deleter>;

int Fail(UpdateInfo* info, int code) {
  info->error = code;
  return 0;
}

// Path values have at most 255 characters (their rules' size), so the
// precision never cuts one; it tells the compiler that the result fits.
static_assert(kConfigKeys[kSrcDir].size == 256 && kConfigPathSize == 513);

Path JoinPath(const Value& dir, const Value& file) {
  Path path{};
  std::snprintf(path.data(), path.size(), "%.255s/%.255s", dir.data(), file.data());
  return path;
}

// The key of a line: its first word without the leading blanks.
const char* KeyOf(const LineList2* line) {
  const char* key = SkipSpaces(line->word);
  return key != nullptr ? key : "";
}

const char* OrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

// Writes the merged file; the result is whether every write reached the stream.
bool WriteMerged(std::FILE* out, const LineList2* source, const LineList2* installed) {
  std::fprintf(out, "%s\n", OrEmpty(source->word));
  const LineList2* dest = installed->next;
  for (const LineList2* src = source->next; src != nullptr; src = src->next) {
    const LineList2* line = src;
    if (dest != nullptr && std::strcmp(KeyOf(src), KeyOf(dest)) == 0) {
      line = dest;
      dest = dest->next;
    }
    std::fprintf(out, "%s%s\n", OrEmpty(line->word), OrEmpty(line->rest));
  }
  return std::ferror(out) == 0;
}

// The merged file is written beside the destination, on its file system, so
// that it can be renamed over it.
constexpr char kTempSuffix[] = ".new";
using TempPath = std::array<char, kConfigPathSize + sizeof kTempSuffix - 1>;

// Writes the merged file anew at `temp` and makes it durable. Returns 0, 625
// when it cannot be created, 622 when a write, the flush, the fsync or the
// close fails (nothing is left at `temp` then).
int WriteTemp(const char* temp, const LineList2* source, const LineList2* installed) {
  // A leftover of an interrupted run goes first; "x" then refuses whatever
  // could not be removed rather than write through it (a link included).
  (void)RemoveFile(temp);
  FilePtr out(OpenFile(temp, "wx"));
  if (!out) return kErrCfgCreateDest;
  // A write error that a later flush hides would otherwise pass for success.
  const bool written = WriteMerged(out.get(), source, installed) && SyncFile(out.get()) != 0;
  const bool closed = std::fclose(out.release()) == 0;
  if (written && closed) return 0;
  (void)RemoveFile(temp);
  return kErrCfgCloseDest;
}

}  // namespace

int GetVersion(const LineList2* list, double* version) {
  if (list == nullptr || list->word == nullptr || version == nullptr) return 0;
  const char* text = list->word;
  while (IsWhiteSpace(static_cast<unsigned char>(*text)) != 0) ++text;
  if ((static_cast<unsigned char>(*text) & ~0x20U) != 'V') return 0;
  // The program never sets a locale, so atof() reads a decimal point.
  const double value = std::atof(text + 1);
  // A NaN would make every comparison false and an infinity always newer.
  if (value == 0.0 || !std::isfinite(value)) return 0;
  *version = value;
  return 1;
}

int ReadConfigPaths(const char* section, ConfigPaths* paths) {
  std::array<Value, kConfigKeys.size()> values{};
  std::array<bool, kConfigKeys.size()> present{};
  for (std::size_t i = 0; i < kConfigKeys.size(); ++i) {
    const KeyState state = LookUpKey(section, kConfigKeys[i], values[i].data());
    if (state == KeyState::kTooLong) return kConfigKeys[i].tooLongCode;
    present[i] = state == KeyState::kPresent;
  }
  for (std::size_t i = 0; i < kConfigKeys.size(); ++i) {
    if (kConfigKeys[i].missingCode != 0 && !present[i]) return kConfigKeys[i].missingCode;
  }

  paths->source = JoinPath(values[kSrcDir], values[kSrcFile]);
  paths->dest = JoinPath(values[kDestDir], values[kDestFile]);
  paths->backup = JoinPath(values[kBackupDir], values[kBackupFile]);
  paths->md5 = values[kMd5Hash];
  paths->sha256 = values[kSha256Hash];
  paths->hasMd5 = present[kMd5Hash];
  paths->hasSha256 = present[kSha256Hash];

  // Clearing the old backup would otherwise delete the installed file or the
  // template itself. A backup that is a second link of the installed file (an
  // update cut short leaves one) loses nothing when that name goes.
  const char* backup = paths->backup.data();
  if ((SameFile(backup, paths->dest.data()) != 0 && HardLinked(backup, paths->dest.data()) == 0) ||
      SameFile(backup, paths->source.data()) != 0) {
    return kErrCfgValue;
  }
  return 0;
}

int ConfigUpdate(const char* section, UpdateInfo* info) {
  ConfigPaths paths{};
  const int readError = ReadConfigPaths(section, &paths);
  info->error = 0;
  if (readError != 0) return Fail(info, readError);
  if (isdir(paths.dest.data()) != 0 || isdir(paths.backup.data()) != 0) {
    return Fail(info, kErrFolder);
  }
  const Path& source = paths.source;
  const Path& dest = paths.dest;
  const Path& backup = paths.backup;

  if (exists(source.data()) == 0) return Fail(info, kErrCfgSourceMissing);
  if (exists(dest.data()) == 0) return Fail(info, kErrCfgDestMissing);

  // The lines are read between two digests of the template, so a template
  // changed meanwhile is refused rather than merged unverified.
  const ExpectedDigests digests = paths.digests();
  if (!FileMatchesDigests(source.data(), digests)) return Fail(info, kErrCfgDigest);
  LineList2* head = nullptr;
  if (ReadFile2(source.data(), &head) == 0) return Fail(info, kErrCfgReadSource);
  const Lines sourceLines(head);
  if (!FileMatchesDigests(source.data(), digests)) return Fail(info, kErrCfgDigest);
  double sourceVersion = 0.0;
  if (GetVersion(sourceLines.get(), &sourceVersion) == 0) return Fail(info, kErrCfgSourceVersion);

  head = nullptr;
  if (ReadFile2(dest.data(), &head) == 0) return Fail(info, kErrCfgReadDest);
  const Lines destLines(head);
  double destVersion = 0.0;
  if (GetVersion(destLines.get(), &destVersion) == 0) return Fail(info, kErrCfgDestVersion);

  // A run that rewrites nothing leaves every file as it was: the backup may be
  // the only copy of the settings before an earlier merge.
  if (!(sourceVersion > destVersion)) return 1;

  // Tried whatever exists() says, so that a dangling link goes too.
  if (RemoveFile(backup.data()) == 0 && exists(backup.data()) != 0) {
    return Fail(info, kErrCfgRemoveBackup);
  }
  TempPath temp{};
  std::snprintf(temp.data(), temp.size(), "%s%s", dest.data(), kTempSuffix);
  if (const int code = WriteTemp(temp.data(), sourceLines.get(), destLines.get()); code != 0) {
    return Fail(info, code);
  }
  // The installed settings stay whole in their place until the merged file,
  // already durable, takes it in one step; the backup is their second name.
  if (KeepAsBackup(dest.data(), backup.data()) == Kept::kFailed) {
    (void)RemoveFile(temp.data());
    return Fail(info, kErrCfgMoveToBackup);
  }
  if (ReplaceFile(temp.data(), dest.data()) != kRenameOk) {
    (void)RemoveFile(temp.data());
    return Fail(info, kErrCfgCreateDest);
  }
  SyncFolderOf(dest.data());
  return 1;
}

}  // namespace upd
