#include "operations/transfer.h"

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "driver/error_codes.h"
#include "fileutil/fileops.h"
#include "integrity/md5.h"
#include "integrity/sha256.h"
#include "manifest/store.h"
#include "operations/timestamp.h"
#include "strutil/strcompare.h"

namespace upd {

namespace {

constexpr int kPathValueSize = 256;
constexpr int kTimeStampSize = 32;
constexpr int kDigestValueSize = 512;
constexpr int kSwitchSize = 16;
constexpr int kWorkingPathSize = 513;
constexpr mode_t kDirectoryMode = 0755;
constexpr mode_t kInstalledMode = 0755;

constexpr std::uint32_t kBackupDirBit = 0x0001;
constexpr std::uint32_t kBackupFileBit = 0x0002;
constexpr std::uint32_t kDestDirBit = 0x0004;
constexpr std::uint32_t kDestFileBit = 0x0008;
constexpr std::uint32_t kDestNoExistBit = 0x0010;
constexpr std::uint32_t kInterimDirBit = 0x0020;
constexpr std::uint32_t kInterimFileBit = 0x0040;
constexpr std::uint32_t kSrcDirBit = 0x0200;
constexpr std::uint32_t kSrcFileBit = 0x0400;
constexpr std::uint32_t kTimeStampBit = 0x0800;
constexpr std::uint32_t kTimeStampCheckBit = 0x1000;
constexpr std::uint32_t kNoUpdateSameBit = 0x2000;

struct RequiredKey {
  std::uint32_t bit;
  int code;
};

// The order in which missing path keys are reported.
constexpr RequiredKey kRequiredPaths[] = {
    {kSrcDirBit, kErrNoSrcDir},         {kSrcFileBit, kErrNoSrcFile},
    {kInterimDirBit, kErrNoInterimDir}, {kInterimFileBit, kErrNoInterimFile},
    {kDestDirBit, kErrNoDestDir},       {kDestFileBit, kErrNoDestFile},
    {kBackupDirBit, kErrNoBackupDir},   {kBackupFileBit, kErrNoBackupFile},
};

// Every value starts empty: a missing digest then never matches.
struct Values {
  char srcDir[kPathValueSize] = {};
  char srcFile[kPathValueSize] = {};
  char interimDir[kPathValueSize] = {};
  char interimFile[kPathValueSize] = {};
  char destDir[kPathValueSize] = {};
  char destFile[kPathValueSize] = {};
  char backupDir[kPathValueSize] = {};
  char backupFile[kPathValueSize] = {};
  char timeStamp[kTimeStampSize] = {};
  char md5[kDigestValueSize] = {};
  char sha256[kDigestValueSize] = {};
  char destNoExist[kSwitchSize] = {};
  char timeStampCheck[kSwitchSize] = {};
  char noUpdateSame[kSwitchSize] = {};
};

struct Paths {
  char source[kWorkingPathSize] = {};
  char interim[kWorkingPathSize] = {};
  char destination[kWorkingPathSize] = {};
  char backup[kWorkingPathSize] = {};
};

enum class Kind { kPresence, kValue, kSwitch };

// Reads the section's keys in their fixed order; 0 or the code to fail with.
int ReadSection(const char* section, Values& v, std::uint32_t& mask) {
  struct KeySpec {
    const char* name;
    char* value;
    int size;
    Kind kind;
    std::uint32_t bit;
  };
  const KeySpec keys[] = {
      {"SrcDir", v.srcDir, kPathValueSize, Kind::kPresence, kSrcDirBit},
      {"SrcFile", v.srcFile, kPathValueSize, Kind::kPresence, kSrcFileBit},
      {"InterimDir", v.interimDir, kPathValueSize, Kind::kPresence, kInterimDirBit},
      {"InterimFile", v.interimFile, kPathValueSize, Kind::kPresence, kInterimFileBit},
      {"DestDir", v.destDir, kPathValueSize, Kind::kPresence, kDestDirBit},
      {"DestFile", v.destFile, kPathValueSize, Kind::kPresence, kDestFileBit},
      {"BackupDir", v.backupDir, kPathValueSize, Kind::kPresence, kBackupDirBit},
      {"BackupFile", v.backupFile, kPathValueSize, Kind::kPresence, kBackupFileBit},
      {"TimeStamp", v.timeStamp, kTimeStampSize, Kind::kPresence, kTimeStampBit},
      {"MD5Hash", v.md5, kDigestValueSize, Kind::kValue, 0},
      {"SHA256Hash", v.sha256, kDigestValueSize, Kind::kValue, 0},
      {"DestNoExist", v.destNoExist, kSwitchSize, Kind::kSwitch, kDestNoExistBit},
      {"TimeStampCheck", v.timeStampCheck, kSwitchSize, Kind::kSwitch, kTimeStampCheckBit},
      {"NoUpdateSame", v.noUpdateSame, kSwitchSize, Kind::kSwitch, kNoUpdateSameBit},
  };
  mask = kTimeStampCheckBit;  // the timestamp check is on unless switched off
  for (const KeySpec& key : keys) {
    bool found = false;
    if (GetAuxInfo(section, key.name, key.value, key.size, &found) == 0) return kErrTransferValue;
    if (!found || key.kind == Kind::kValue) continue;
    if (key.kind == Kind::kPresence) {
      mask |= key.bit;
    } else if (str::EqualFolded(key.value, "true")) {
      mask |= key.bit;
    } else if (str::EqualFolded(key.value, "false")) {
      mask &= ~key.bit;
    } else {
      return kErrTransferValue;
    }
  }
  for (const RequiredKey& required : kRequiredPaths) {
    if ((mask & required.bit) == 0) return required.code;
  }
  return 0;
}

template <std::size_t N>
void JoinPath(char (&out)[N], const char* dir, const char* file) {
  std::snprintf(out, N, "%s/%s", dir, file);
}

bool Md5Matches(const char* path, const char* expected) {
  char text[kDigestValueSize] = {};
  return MD5Hash(path, text, kDigestValueSize) != 0 && std::strcmp(text, expected) == 0;
}

bool EnsureDirectory(const char* dir) {
  return exists(dir) != 0 || MakeDirectory(dir, kDirectoryMode) == 0;
}

int Fail(UpdateInfo* info, int code) {
  info->error = code;
  return 0;
}

}  // namespace

int TransferFile(const char* section, UpdateInfo* info) {
  Values v;
  std::uint32_t mask = 0;
  const int readError = ReadSection(section, v, mask);
  info->error = 0;
  if (readError != 0) return Fail(info, readError);

  Paths p;
  JoinPath(p.source, v.srcDir, v.srcFile);
  JoinPath(p.interim, v.interimDir, v.interimFile);
  JoinPath(p.destination, v.destDir, v.destFile);
  JoinPath(p.backup, v.backupDir, v.backupFile);

  // With two of these naming one file, the install would remove the file it is
  // about to keep (a backup equal to the destination loses the installed file).
  if (SamePath(p.interim, p.destination) != 0 || SamePath(p.interim, p.backup) != 0 ||
      SamePath(p.destination, p.backup) != 0) {
    return Fail(info, kErrTransferValue);
  }

  const bool gate = (mask & kTimeStampBit) != 0 && (mask & kTimeStampCheckBit) != 0;
  if (gate && (info->flags & UPD_TIMESTAMP_SET) != 0 && (info->flags & UPD_FORCE) == 0) {
    std::int32_t installed = 0;
    std::int32_t offered = 0;
    if (ConvertTimeStamp(info->timestamp, &installed) == 0 ||
        ConvertTimeStamp(v.timeStamp, &offered) == 0) {
      return Fail(info, kErrTimeStampConvert);
    }
    if (offered == installed) {
      info->flags |= UPD_TIMESTAMP_SAME;
    } else if (offered < installed) {
      info->flags |= UPD_TIMESTAMP_OLDER;
    }
  }
  // Once a section has found the medium not newer, every gated section is skipped.
  if (gate && (info->flags & (UPD_TIMESTAMP_OLDER | UPD_TIMESTAMP_SAME)) != 0) return 1;

  if (exists(p.destination) != 0 && (mask & kNoUpdateSameBit) != 0 &&
      Md5Matches(p.destination, v.md5)) {
    return 1;
  }

  if (exists(p.source) == 0) return Fail(info, kErrSourceMissing);
  if (!EnsureDirectory(v.interimDir) || !EnsureDirectory(v.destDir)) {
    return Fail(info, kErrMakeDirectory);
  }
  if (CopyFile(p.source, p.interim) == 0) return Fail(info, kErrCopyInterim);
  if (!Md5Matches(p.interim, v.md5)) return Fail(info, kErrMd5Mismatch);
  char sha256[kDigestValueSize] = {};
  if (SHA256Hash(p.interim, sha256) == 0 || std::strcmp(sha256, v.sha256) != 0) {
    return Fail(info, kErrSha256Mismatch);
  }

  // Decide about a missing destination before the old backup goes: it may be
  // the only copy of the previous file left.
  const bool hasPrevious = exists(p.destination) != 0;
  if (!hasPrevious && (mask & kDestNoExistBit) == 0) return Fail(info, kErrMoveToBackup);
  // The mode is set on the verified copy before anything is moved, so that the
  // destination never names a file that cannot run.
  if (SetMode(p.interim, kInstalledMode) != 0) return Fail(info, kErrChmod);
  if (exists(p.backup) != 0 && RemoveFile(p.backup) == 0) return Fail(info, kErrRemoveBackup);
  // The previous file gets its backup name as a second link and the new one
  // then replaces it in one step: a power cut at any point leaves a whole file
  // at the destination. Where links cannot be made it is moved aside instead.
  if (hasPrevious && LinkFile(p.destination, p.backup) != 0 &&
      Rename(p.destination, p.backup) != kRenameOk) {
    return Fail(info, kErrMoveToBackup);
  }
  if (ReplaceFile(p.interim, p.destination) != kRenameOk) return Fail(info, kErrMoveIntoPlace);
  return 1;
}

}  // namespace upd
