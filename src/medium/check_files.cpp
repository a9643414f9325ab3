// The steps whose source files may lie on the medium: "TransferFile" and
// "ConfigUpdate". Their keys, paths and timestamp gate are read by the
// operations' own functions; the medium's files by the updater's own digests
// and configuration reader.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/error_codes.h"
#include "common/instrument_paths.h"
#include "fileutil/linereader.h"
#include "integrity/file_digests.h"
#include "integrity/md5.h"
#include "integrity/sha256.h"
#include "medium/check_digests.h"
#include "medium/check_keys.h"
#include "medium/medium_paths.h"
#include "operations/config_update.h"
#include "operations/timestamp.h"
#include "operations/transfer.h"

namespace upd::medium {

namespace {

std::string Quoted(const char* text) {
  return std::string("'") + text + "'";
}

// The gate of one section as the run would meet it; adds to `plan`.
void CheckTimeStamp(StepContext& ctx, const char* section, const TransferSettings& s,
                    std::string& plan) {
  if (!s.timeStampGate || ctx.options.force) return;
  const char* stamp = s.Value(kTransferTimeStamp);
  const int line = EntryLine(section, "TimeStamp");
  const std::string unreadable =
      "TimeStamp " + Quoted(stamp) + " is not a build timestamp (YYYY-MM-DD HH:MM:SS)";
  if ((ctx.info.flags & UPD_TIMESTAMP_SET) == 0) {
    // Without -t the instrument compares nothing; with it, as it is normally
    // run, this value is converted.
    std::int32_t seconds = 0;
    if (ConvertTimeStamp(stamp, &seconds) == 0) {
      ctx.findings.Error(line, kErrTimeStampConvert, section, unreadable);
    } else {
      plan += "; only over an older build than " + std::string(stamp);
    }
    return;
  }

  const std::uint32_t earlier = ctx.info.flags & (UPD_TIMESTAMP_OLDER | UPD_TIMESTAMP_SAME);
  bool skip = false;
  if (ApplyTimeStampGate(s, &ctx.info, &skip) != 0) {
    ctx.findings.Error(line, kErrTimeStampConvert, section, unreadable);
    return;
  }
  if (!skip) {
    plan += "; its build " + std::string(stamp) + " is newer than " + ctx.info.timestamp;
    return;
  }
  // The runner shows "same" before "older".
  const int shown =
      (ctx.info.flags & UPD_TIMESTAMP_SAME) != 0 ? kErrTimeStampSame : kErrTimeStampOlder;
  const std::string installed = ctx.info.timestamp;
  std::string why;
  if (earlier != 0) {
    why = "an earlier step found the medium not newer than the installed build " + installed;
  } else if (shown == kErrTimeStampSame) {
    why = "TimeStamp " + std::string(stamp) + " is the installed build";
  } else {
    why = "TimeStamp " + std::string(stamp) + " is older than the installed build " + installed;
  }
  ctx.findings.Error(
      line, shown, section,
      why + ": the step installs nothing and the display shows " + std::to_string(shown));
  plan = "nothing: skipped, " + why;
}

// 649 / 670 for a digest entry that does not hold the file's digest.
void CheckDigest(StepContext& ctx, const char* section, const char* key, int code,
                 const char* expected, const char* actual) {
  if (actual != nullptr && std::strcmp(expected, actual) == 0) return;
  std::string text =
      std::string(key) + " is " + (*expected == '\0' ? "empty or missing" : Quoted(expected));
  text +=
      actual != nullptr ? std::string(", the file's is ") + actual : ": no file's digest matches";
  ctx.findings.Error(EntryLine(section, key), code, section, text);
}

void CheckSource(StepContext& ctx, const char* section, const TransferSettings& s) {
  const char* md5 = s.Value(kTransferMd5Hash);
  const char* sha256 = s.Value(kTransferSha256Hash);
  const auto file = LookAtMedium(ctx.options.medium, s.source);
  if (!file) {
    // The file is the instrument's own; only an empty digest is sure to fail.
    if (*md5 == '\0') CheckDigest(ctx, section, "MD5Hash", kErrMd5Mismatch, md5, nullptr);
    if (*sha256 == '\0')
      CheckDigest(ctx, section, "SHA256Hash", kErrSha256Mismatch, sha256, nullptr);
    return;
  }
  const int line = EntryLine(section, "SrcFile");
  if (file->state != MediumState::kFile) {
    // The copy refuses what is not a regular file.
    ctx.findings.Error(line,
                       file->state == MediumState::kMissing ? kErrSourceMissing : kErrCopyInterim,
                       section, "source " + std::string(s.source) + NotAFileText(*file));
    if (file->state == MediumState::kUnreadable) ctx.named.insert(file->odd);
    return;
  }
  char fileMd5[kMd5TextSize] = {};
  char fileSha256[kSha256TextSize] = {};
  if (HashFile(file->host.c_str(), fileMd5, fileSha256) == 0) {
    ctx.findings.Error(line, kErrCopyInterim, section, "source " + file->host + " cannot be read");
    return;
  }
  CheckDigest(ctx, section, "MD5Hash", kErrMd5Mismatch, md5, fileMd5);
  CheckDigest(ctx, section, "SHA256Hash", kErrSha256Mismatch, sha256, fileSha256);
}

// The stick is a file system of its own: a verified copy kept on it cannot be
// renamed over a destination on the instrument (EXDEV), which stops the step.
void CheckInterim(StepContext& ctx, const char* section, const TransferSettings& s) {
  const auto host = OnMedium(ctx.options.medium, s.interim);
  if (!host || OnMedium(ctx.options.medium, s.destination)) return;
  ctx.findings.Error(EntryLine(section, "InterimDir"), kErrMoveIntoPlace, section,
                     "interim " + std::string(s.interim) + " lies on the medium (" + *host +
                         "), a file system of its own: the verified copy cannot be renamed to " +
                         s.destination + " (EXDEV); use a folder on the instrument, such as " +
                         kDownloadDir);
}

struct LinesDeleter {
  void operator()(LineList2* head) const noexcept { FreeFile2(&head); }
};

// The template's version line, as the step reads it; adds it to `version`.
void CheckTemplateVersion(StepContext& ctx, const char* section, int line, const std::string& host,
                          std::string& version) {
  LineList2* head = nullptr;
  if (ReadFile2(host.c_str(), &head) == 0) {
    ctx.findings.Error(
        line, kErrCfgReadSource, section,
        "template " + host + " cannot be read (a line of more than 511 characters?)");
    return;
  }
  const std::unique_ptr<LineList2, LinesDeleter> lines(head);
  double value = 0.0;
  if (GetVersion(lines.get(), &value) == 0) {
    const std::string first =
        head == nullptr
            ? "the file is empty"
            : "its first line is " + Quoted((std::string(head->word) + head->rest).c_str());
    ctx.findings.Error(
        line, kErrCfgSourceVersion, section,
        "template " + host + " has no valid version line (V and a number, such as V2.3): " + first);
    return;
  }
  char text[32] = {};
  std::snprintf(text, sizeof text, "%g", value);
  version += " (version " + std::string(text) + ")";
}

}  // namespace

std::string CheckTransfer(StepContext& ctx, const char* section) {
  if (!ReadKeys(ctx, section, kTransferKeys, KeyOrder::kValuesFirst)) return "stops (above)";
  auto s = std::make_unique<TransferSettings>();
  const int refused =
      SeenFromMedium(ctx.options.medium, [&] { return ReadTransferSettings(section, s.get()); });
  if (refused != 0) {
    ctx.findings.Error(SectionLine(section), kErrTransferValue, section,
                       "interim " + std::string(s->interim) + ", destination " + s->destination +
                           " and backup " + s->backup + " are not three distinct files");
    return "stops (above)";
  }
  std::string plan = "install " + std::string(s->source) + " as " + s->destination + " through " +
                     s->interim + ", keeping the previous file as " + s->backup;
  if (s->destNoExist) plan += " (there may be none)";
  if (s->noUpdateSame) plan += "; nothing when the installed file has this content already";
  CheckTimeStamp(ctx, section, *s, plan);
  CheckSource(ctx, section, *s);
  CheckInterim(ctx, section, *s);
  return plan;
}

std::string CheckConfigUpdate(StepContext& ctx, const char* section) {
  if (!ReadKeys(ctx, section, kConfigKeys, KeyOrder::kValuesFirst)) return "stops (above)";
  ConfigPaths p{};
  if (SeenFromMedium(ctx.options.medium, [&] { return ReadConfigPaths(section, &p); }) != 0) {
    ctx.findings.Error(SectionLine(section), kErrCfgValue, section,
                       "backup " + std::string(p.backup.data()) +
                           " is the installed file or the template, which clearing the old "
                           "backup would delete");
    return "stops (above)";
  }
  std::string version = "the template";
  const DataFile source{"template", p.source.data(), EntryLine(section, "SrcFile")};
  const auto file = LookAtMedium(ctx.options.medium, p.source.data());
  if (!file) {
    (void)CheckDataDigests(ctx, section, source, kErrCfgDigest);
  } else if (file->state != MediumState::kFile) {
    // The step stops on the template itself: missing, or not readable, which
    // its digests then report first.
    const int code = file->state == MediumState::kMissing ? kErrCfgSourceMissing
                     : HasDigests(section)                ? kErrCfgDigest
                                                          : kErrCfgReadSource;
    ctx.findings.Error(source.line, code, section, "template " + source.path + NotAFileText(*file));
    if (file->state == MediumState::kUnreadable) ctx.named.insert(file->odd);
  } else {
    (void)CheckDataDigests(ctx, section, source, kErrCfgDigest);
    CheckTemplateVersion(ctx, section, source.line, file->host, version);
  }
  WarnUncovered(ctx, section, source, HasDigests(section), {});
  return "merge " + version + " " + p.source.data() + " into " + p.dest.data() +
         " when its version is higher, keeping the previous file as " + p.backup.data();
}

}  // namespace upd::medium
