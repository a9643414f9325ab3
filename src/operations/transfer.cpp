#include "operations/transfer.h"

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "common/error_codes.h"
#include "fileutil/fileops.h"
#include "integrity/digest_check.h"
#include "manifest/store.h"
#include "operations/replace.h"
#include "operations/timestamp.h"

namespace upd {

namespace {

constexpr mode_t kDirectoryMode = 0755;
constexpr mode_t kInstalledMode = 0755;

// Path values are read into 256-byte buffers, so the precision never cuts one;
// it tells the compiler that the result fits.
static_assert(kTransferKeys[kTransferSrcDir].size == 256 && kTransferPathSize == 513);

template <std::size_t N>
void JoinPath(char (&out)[N], const char* dir, const char* file) {
  std::snprintf(out, N, "%.255s/%.255s", dir, file);
}

bool EnsureDirectory(const char* dir) {
  return exists(dir) != 0 || MakeDirectory(dir, kDirectoryMode) == 0;
}

int Fail(UpdateInfo* info, int code) {
  info->error = code;
  return 0;
}

}  // namespace

int ReadTransferSettings(const char* section, TransferSettings* settings) {
  TransferSettings& s = *settings;
  s = TransferSettings{};
  std::array<bool, kTransferKeys.size()> present{};
  for (std::size_t i = 0; i < kTransferKeys.size(); ++i) {
    const KeyState state = LookUpKey(section, kTransferKeys[i], s.values[i].data());
    if (state == KeyState::kTooLong || state == KeyState::kBadSwitch) {
      return kTransferKeys[i].tooLongCode;
    }
    present[i] = state == KeyState::kPresent;
  }
  for (std::size_t i = 0; i < kTransferKeys.size(); ++i) {
    if (kTransferKeys[i].missingCode != 0 && !present[i]) return kTransferKeys[i].missingCode;
  }
  // The timestamp check is on unless switched off.
  const bool checkOn =
      !present[kTransferTimeStampCheck] || SwitchOn(s.Value(kTransferTimeStampCheck));
  s.timeStampGate = present[kTransferTimeStamp] && checkOn;
  s.destNoExist = present[kTransferDestNoExist] && SwitchOn(s.Value(kTransferDestNoExist));
  s.noUpdateSame = present[kTransferNoUpdateSame] && SwitchOn(s.Value(kTransferNoUpdateSame));

  JoinPath(s.source, s.Value(kTransferSrcDir), s.Value(kTransferSrcFile));
  JoinPath(s.interim, s.Value(kTransferInterimDir), s.Value(kTransferInterimFile));
  JoinPath(s.destination, s.Value(kTransferDestDir), s.Value(kTransferDestFile));
  JoinPath(s.backup, s.Value(kTransferBackupDir), s.Value(kTransferBackupFile));

  // With two of these naming one file, the install would remove or overwrite
  // the file it is about to keep (a backup equal to the destination loses the
  // installed file). Two hard links at the destination and backup paths are
  // what an install cut short between its link and its rename leaves: removing
  // one name loses nothing. The interim copy is written, so it must be a file
  // of its own.
  if (SameFile(s.interim, s.destination) != 0 || SameFile(s.interim, s.backup) != 0 ||
      (SameFile(s.destination, s.backup) != 0 && HardLinked(s.destination, s.backup) == 0)) {
    return kErrTransferValue;
  }
  return 0;
}

int ApplyTimeStampGate(const TransferSettings& settings, UpdateInfo* info, bool* skip) {
  *skip = false;
  if (!settings.timeStampGate) return 0;
  if ((info->flags & UPD_TIMESTAMP_SET) != 0 && (info->flags & UPD_FORCE) == 0) {
    std::int32_t installed = 0;
    std::int32_t offered = 0;
    if (ConvertTimeStamp(info->timestamp, &installed) == 0 ||
        ConvertTimeStamp(settings.Value(kTransferTimeStamp), &offered) == 0) {
      return kErrTimeStampConvert;
    }
    if (offered == installed) {
      info->flags |= UPD_TIMESTAMP_SAME;
    } else if (offered < installed) {
      info->flags |= UPD_TIMESTAMP_OLDER;
    }
  }
  // Once a section has found the medium not newer, every gated section is skipped.
  *skip = (info->flags & (UPD_TIMESTAMP_OLDER | UPD_TIMESTAMP_SAME)) != 0;
  return 0;
}

int TransferFile(const char* section, UpdateInfo* info) {
  TransferSettings s;
  const int readError = ReadTransferSettings(section, &s);
  info->error = 0;
  if (readError != 0) return Fail(info, readError);
  // A folder there would be moved aside, program folder and all, or stand in
  // the new file's way.
  if (isdir(s.destination) != 0 || isdir(s.backup) != 0) return Fail(info, kErrFolder);

  bool skip = false;
  if (const int gateError = ApplyTimeStampGate(s, info, &skip); gateError != 0) {
    return Fail(info, gateError);
  }
  if (skip) return 1;

  if (exists(s.destination) != 0 && s.noUpdateSame &&
      Md5Matches(s.destination, s.Value(kTransferMd5Hash))) {
    return 1;
  }

  if (exists(s.source) == 0) return Fail(info, kErrSourceMissing);
  if (!EnsureDirectory(s.Value(kTransferInterimDir)) ||
      !EnsureDirectory(s.Value(kTransferDestDir))) {
    return Fail(info, kErrMakeDirectory);
  }
  if (CopyFile(s.source, s.interim) == 0) return Fail(info, kErrCopyInterim);
  if (!Md5Matches(s.interim, s.Value(kTransferMd5Hash))) return Fail(info, kErrMd5Mismatch);
  if (!Sha256Matches(s.interim, s.Value(kTransferSha256Hash))) {
    return Fail(info, kErrSha256Mismatch);
  }

  // Decide about a missing destination before the old backup goes: it may be
  // the only copy of the previous file left.
  const bool hasPrevious = exists(s.destination) != 0;
  if (!hasPrevious && !s.destNoExist) return Fail(info, kErrMoveToBackup);
  // The mode is set on the verified copy before anything is moved, so that the
  // destination never names a file that cannot run.
  if (SetMode(s.interim, kInstalledMode) != 0) return Fail(info, kErrChmod);
  // Tried whatever exists() says, so that a dangling link goes too.
  if (RemoveFile(s.backup) == 0 && exists(s.backup) != 0) return Fail(info, kErrRemoveBackup);
  // The previous file gets its backup name as a second link (a synced copy
  // where links fail) and the new one then replaces it in one step: a power
  // cut at any point leaves a whole file at the destination.
  if (hasPrevious) {
    const Kept kept = KeepAsBackup(s.destination, s.backup);
    if (kept == Kept::kFailed) return Fail(info, kErrMoveToBackup);
    // Everything this operation installs runs, so a copy restored from the
    // backup path must run too.
    if (kept == Kept::kCopied && SetMode(s.backup, kInstalledMode) != 0) {
      (void)RemoveFile(s.backup);
      return Fail(info, kErrMoveToBackup);
    }
  }
  if (ReplaceFile(s.interim, s.destination) != kRenameOk) return Fail(info, kErrMoveIntoPlace);
  SyncFolderOf(s.destination);
  return 1;
}

}  // namespace upd
