#include "driver/runner.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <string_view>

#include "driver/error_codes.h"
#include "driver/inline_ops.h"
#include "driver/instrument_paths.h"
#include "driver/report.h"
#include "integrity/signature.h"
#include "manifest/reader.h"
#include "manifest/sequence.h"
#include "manifest/store.h"
#include "operations/backup.h"
#include "operations/config_update.h"
#include "operations/transfer.h"
#include "platform/platform.h"
#include "strutil/heapstr.h"

namespace upd {

namespace {

constexpr int kOperationSize = 64;

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};

// The signature gate. On success the store holds what was parsed from the very
// bytes whose signature was checked, so a medium that changes between the
// reads cannot slip unsigned steps in.
bool ManifestVerified() {
  std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_PKEY_new());
  EVP_PKEY* handle = key.get();
  if (!key || ReadPublicKey(kPublicKeyPath, &handle) == 0) return false;

  unsigned char* rawSignature = nullptr;
  unsigned int signatureLength = 0;
  if (ReadBytesFromFile(kSignaturePath, &rawSignature, &signatureLength) == 0) return false;
  const MallocPtr<unsigned char> signature(rawSignature);

  unsigned char* rawData = nullptr;
  unsigned int dataLength = 0;
  if (ReadBytesFromFile(kManifestPath, &rawData, &dataLength) == 0) return false;
  const MallocPtr<unsigned char> data(rawData);

  if (VerifyIt(data.get(), dataLength, signature.get(), signatureLength, key.get()) == 0) {
    return false;
  }
  return ReadAuxInfoBytes(data.get(), dataLength) != 0;
}

// Loads the manifest and builds the sequence. Returns 0, or the exit status
// when the run has ended.
int LoadManifest(UpdateInfo* info) {
  if (ReadAuxInfo(kManifestPath) == 0) {
    (void)UnMount(info);
    return Error(kErrManifestRead, true, info);
  }
  AuxInfo = true;
  if ((info->flags & UPD_MSG_ALL) != 0) ShowAuxInfo();
  if ((info->flags & UPD_SSL_CHECK) != 0 && !ManifestVerified()) {
    (void)UnMount(info);
    return Error(kErrSignature, true, info);
  }
  if (BuildSectionList("SectionList", "Sequence", &info->sections) == 0) {
    return Error(kErrSequence, true, info);
  }
  return 0;
}

enum class Step { kNext, kStop };

struct StepOutcome {
  Step step;
  int status;  // exit status when the run stops
};

constexpr StepOutcome kNextStep{Step::kNext, 0};

StepOutcome Stop(int code, UpdateInfo* info) {
  info->error = code;
  return {Step::kStop, Error(code, false, info)};
}

// An operation of the calling convention: non-zero, or 0 with its code in info->error.
StepOutcome Operation(int result, UpdateInfo* info) {
  if (result != 0) return kNextStep;
  return {Step::kStop, Error(info->error, false, info)};
}

// An inline operation: 0, or the code to stop with.
StepOutcome Inline(int code, UpdateInfo* info) {
  return code == 0 ? kNextStep : Stop(code, info);
}

StepOutcome RunStep(const char* section, UpdateInfo* info, bool* reboot) {
  char operation[kOperationSize] = {};
  bool found = false;
  if (GetAuxInfo(section, "Operation", operation, kOperationSize, &found) == 0) {
    return {Step::kStop, Error(kErrOperationTooLong, true, info)};
  }
  if (!found) return kNextStep;

  const std::string_view name = operation;
  if (name == "TransferFile") {
    if (TransferFile(section, info) == 0) return {Step::kStop, Error(info->error, false, info)};
    // Older or same builds are reported, and the run goes on.
    if ((info->flags & UPD_TIMESTAMP_SAME) != 0) {
      Error(kErrTimeStampSame, false, info);
    } else if ((info->flags & UPD_TIMESTAMP_OLDER) != 0) {
      Error(kErrTimeStampOlder, false, info);
    }
    return kNextStep;
  }
  if (name == "ConfigUpdate") return Operation(ConfigUpdate(section, info), info);
  if (name == "MSP430Update") return Inline(RunMsp430Update(section), info);
  if (name == "FlashUpdate") return Inline(RunFlashUpdate(section), info);
  if (name == "Reboot") {
    *reboot = true;
    return kNextStep;
  }
  if (name == "RemoveFiles") return Inline(RunRemoveFiles(section), info);
  if (name == "BackupFiles") return Operation(BackupFiles(section, info), info);
  return kNextStep;  // not an operation of this updater
}

int EndRun(UpdateInfo* info, bool reboot) {
  platform::Platform& os = platform::Current();
  os.Sync();
  FreeAuxInfo();
  AuxInfo = false;
  FreeSectionList(&info->sections);

  (void)UnMount(info);
  WaitForUsbUnplug(info);
  if (!reboot) {
    RestartMain();
    return 0;
  }
  char message[kMessageSize] = {};
  std::snprintf(message, sizeof message, "%s", "Rebooting...");
  ShowMessage(message);
  os.Sleep(1);
  os.RunCommand(platform::CommandKind::kInstrument, kRebootProgram);
  os.Sleep(1);
  return 0;
}

}  // namespace

int RunUpdate(UpdateInfo* info) {
  if (const int status = LoadManifest(info); status != 0) return status;
  bool reboot = false;
  for (const Section* s = info->sections; s != nullptr; s = s->next) {
    const StepOutcome outcome = RunStep(s->name, info, &reboot);
    if (outcome.step == Step::kStop) return outcome.status;
  }
  return EndRun(info, reboot);
}

}  // namespace upd
