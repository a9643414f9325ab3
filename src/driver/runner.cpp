#include "driver/runner.h"

#include <cstdio>
#include <optional>

#include "common/error_codes.h"
#include "common/instrument_paths.h"
#include "driver/report.h"
#include "driver/signature_gate.h"
#include "manifest/key_rules.h"
#include "manifest/reader.h"
#include "manifest/sequence.h"
#include "manifest/store.h"
#include "operations/operations.h"
#include "platform/platform.h"

namespace upd {

namespace {

// Loads the manifest and builds the sequence. Returns 0, or the exit status
// when the run has ended.
int LoadManifest(UpdateInfo* info) {
  if (ReadAuxInfo(kManifestPath) == 0) {
    (void)UnMount(info);
    return Error(kErrManifestRead, true, info);
  }
  AuxInfo = true;
  if ((info->flags & UPD_MSG_ALL) != 0) ShowAuxInfo();
  if ((info->flags & UPD_SSL_CHECK) != 0 &&
      VerifyManifest(kPublicKeyPath, kSignaturePath, kManifestPath) != GateStep::kPassed) {
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

// Shows and logs a code that does not stop the run.
StepOutcome Report(int code, UpdateInfo* info) {
  Error(code, false, info);
  return kNextStep;
}

StepOutcome RunStep(const char* section, UpdateInfo* info, bool* reboot) {
  char operation[kOperationRule.size] = {};
  const KeyState state = LookUpKey(section, kOperationRule, operation);
  if (state == KeyState::kTooLong) {
    return {Step::kStop, Error(kOperationRule.tooLongCode, true, info)};
  }
  if (state == KeyState::kAbsent) return kNextStep;

  const Operation* op = FindOperation(operation);
  if (op == nullptr) return kNextStep;  // not an operation of this updater
  const int errorBefore = info->error;
  if (op->run(section, info) == 0) {
    if (op->reportedCode == 0 || info->error != op->reportedCode) return Stop(info->error, info);
    const int code = info->error;
    info->error = errorBefore;  // a reported failure leaves the record as it was
    return Report(code, info);
  }
  if (op->reportsSkippedBuild) {
    // Older or same builds are reported, and the run goes on.
    if ((info->flags & UPD_TIMESTAMP_SAME) != 0) return Report(kErrTimeStampSame, info);
    if ((info->flags & UPD_TIMESTAMP_OLDER) != 0) return Report(kErrTimeStampOlder, info);
  }
  if (op->reboots) *reboot = true;
  return kNextStep;
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
