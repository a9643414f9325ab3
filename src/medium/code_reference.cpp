#include "medium/code_reference.h"

#include <array>

#include "common/error_codes.h"

namespace upd::medium {

namespace {

using G = CodeGroup;
using E = RunEffect;

// Texts that many codes share.
constexpr std::string_view kUntouched =
    "Nothing of this step was touched; what earlier steps installed stays.";
constexpr std::string_view kNothingChanged = "Nothing changed on the instrument.";
constexpr std::string_view kNothingRan =
    "No command of this step ran; what earlier steps installed stays.";
constexpr std::string_view kFixSection =
    "Correct the section on the medium (update-medium check MEDIUM names the line), "
    "sign the manifest again if it is signed, and run the update again.";
constexpr std::string_view kFixInstrument =
    "The instrument's file system refused the change (full, read-only or damaged): "
    "make room or repair it, then run the same medium again; a second run finishes the job.";
constexpr std::string_view kFixCommandLine =
    "Correct the command line that starts the updater, then start it again.";

constexpr std::array kCodes = std::to_array<CodeEntry>({
    // Start-up and completion.
    {kErrTimestampArg, "kErrTimestampArg", G::kStartup, E::kStopsEarly,
     "The -t value has more than 31 characters.",
     "Nothing changed (a stick left mounted by an earlier run is unmounted).",
     "Give -t a build timestamp \"YYYY-MM-DD HH:MM:SS\", quoted since it holds a blank, "
     "then start the updater again."},
    {kErrMount, "kErrMount", G::kStartup, E::kStopsEarly,
     "The stick could not be mounted at /mnt as vfat.",
     "Nothing changed; the stick is not mounted.",
     "Use a vfat stick labelled CORVENAL (or one that -d names): reformat or replace it, "
     "plug it in again and start the update again."},
    {kErrNoMedium, "kErrNoMedium", G::kStartup, E::kStopsEarly,
     "No USB mass-storage device is bound on the instrument's four ports, or its device "
     "node (/dev/disk/by-label/CORVENAL, or the -d value) does not exist.",
     kNothingChanged,
     "Plug the stick in (another port if need be), check that its label is CORVENAL or that "
     "-d names its device, and start the update again."},
    {kErrUnmount, "kErrUnmount", G::kStartup, E::kStored,
     "Unmounting /mnt failed; the run went on as it would have.",
     "The stick may still be mounted at /mnt.",
     "Nothing at once. Should a later run fail to read a new stick, restart the instrument "
     "so that /mnt is free again."},
    {kErrDeviceArg, "kErrDeviceArg", G::kStartup, E::kStopsEarly,
     "The -d value has more than 63 characters.",
     "Nothing changed (a stick left mounted by an earlier run is unmounted).", kFixCommandLine},

    // The manifest.
    {kErrOperationTooLong, "kErrOperationTooLong", G::kManifest, E::kEnds,
     "A step's Operation value has 64 characters or more.",
     "What the steps before it installed stays; this step did nothing.", kFixSection},
    {kErrManifestRead, "kErrManifestRead", G::kManifest, E::kEnds,
     "The manifest /mnt/firmware/AuxInfo.txt is missing or cannot be read: more than "
     "8,000,000 bytes, a line that is no comment with more than 255 characters, an entry "
     "before the first section, or a read error.",
     "Nothing changed; no step ran.",
     "Run update-medium check MEDIUM on the stick's files, correct the manifest it points "
     "at, sign it again if it is signed, and run the update again."},
    {kErrSequence, "kErrSequence", G::kManifest, E::kEnds,
     "The steps could not be listed from SectionList: a group lists itself, groups nest "
     "deeper than 16 levels, a group's list is empty or longer than 511 characters, or "
     "there would be more than 100,000 steps.",
     "Nothing changed; no step ran.",
     "Correct SectionList on the medium (update-medium check MEDIUM names the group or the "
     "cycle), sign the manifest again if it is signed, and run the update again."},
    {kErrSignature, "kErrSignature", G::kManifest, E::kEnds,
     "With -s, the manifest failed its signature check: the public key "
     "/home/Corvenal/bin/MirelCal.pub or the signature /mnt/firmware/AuxInfo.txt.sha256 is "
     "missing or unreadable, the signature does not fit the manifest and the key, or the "
     "signed manifest cannot be read.",
     "Nothing changed; no step ran.",
     "Sign the manifest again after its last change, with the key whose public half the "
     "instrument holds, and confirm with update-medium check MEDIUM --key PUBLIC.pem; "
     "install the public key if the instrument lacks it."},

    // TransferFile and BackupFiles.
    {kErrNoBackupDir, "kErrNoBackupDir", G::kTransferFile, E::kStops,
     "A TransferFile section has no BackupDir.", kUntouched, kFixSection},
    {kErrNoBackupFile, "kErrNoBackupFile", G::kTransferFile, E::kStops,
     "A TransferFile section has no BackupFile.", kUntouched, kFixSection},
    {kErrNoDestDir, "kErrNoDestDir", G::kTransferFile, E::kStops,
     "A TransferFile section has no DestDir, or a BackupFiles DestDir1 or DestDir2 value "
     "has 514 characters or more.",
     kUntouched, kFixSection},
    {kErrNoDestFile, "kErrNoDestFile", G::kTransferFile, E::kStops,
     "A TransferFile section has no DestFile.", kUntouched, kFixSection},
    {kErrTransferValue, "kErrTransferValue", G::kTransferFile, E::kStops,
     "A TransferFile value is too long (a path of 256 characters or more, a TimeStamp of 32, "
     "a digest of 512), a DestNoExist, TimeStampCheck or NoUpdateSame value is neither true "
     "nor false, or the interim, destination and backup paths are not three different files.",
     kUntouched, kFixSection},
    {kErrNoInterimDir, "kErrNoInterimDir", G::kTransferFile, E::kStops,
     "A TransferFile section has no InterimDir.", kUntouched, kFixSection},
    {kErrNoInterimFile, "kErrNoInterimFile", G::kTransferFile, E::kStops,
     "A TransferFile section has no InterimFile.", kUntouched, kFixSection},
    {kErrNoSrcDir, "kErrNoSrcDir", G::kTransferFile, E::kStops,
     "A TransferFile section has no SrcDir, or a BackupFiles DestDir, SrcDir1 or SrcDir2 "
     "value has 514 characters or more.",
     kUntouched, kFixSection},
    {kErrNoSrcFile, "kErrNoSrcFile", G::kTransferFile, E::kStops,
     "A TransferFile section has no SrcFile.", kUntouched, kFixSection},
    {kErrChmod, "kErrChmod", G::kTransferFile, E::kStops,
     "The verified interim copy could not be made mode 0755.",
     "The interim copy; the installed file and its backup untouched.", kFixInstrument},
    {kErrTimeStampConvert, "kErrTimeStampConvert", G::kTransferFile, E::kStops,
     "A build timestamp could not be read: the -t value or the section's TimeStamp is no "
     "valid \"YYYY-MM-DD HH:MM:SS\".",
     kUntouched,
     "Correct the TimeStamp on the medium (update-medium check MEDIUM reports it) or the -t "
     "value; -f installs without comparing builds."},
    {kErrFolder, "kErrFolder", G::kTransferFile, E::kStops,
     "The destination or the backup path of a TransferFile or ConfigUpdate section names a "
     "folder.",
     kUntouched,
     "Correct DestDir and DestFile or BackupDir and BackupFile on the medium, or remove the "
     "folder from the instrument if it does not belong there; then run the update again."},
    {kErrMakeDirectory, "kErrMakeDirectory", G::kTransferFile, E::kStops,
     "A folder could not be made: the InterimDir or DestDir of a TransferFile, or the DestDir, "
     "DestDir1 or DestDir2 of a BackupFiles section (an empty or absent one included; only "
     "its last level is made).",
     "The folders made before it; no file touched.",
     "Check the path on the medium (its parent folder must exist on the instrument) and the "
     "instrument's file system, then run the update again."},
    {kErrMd5Mismatch, "kErrMd5Mismatch", G::kTransferFile, E::kStops,
     "The interim copy's MD5 differs from the section's MD5Hash (a missing MD5Hash never "
     "matches).",
     "The interim copy; the installed file and its backup untouched.",
     "The file on the stick is damaged or the digest is stale: copy the file onto the stick "
     "again, or run update-medium digests MEDIUM and sign the manifest again."},
    {kErrSourceMissing, "kErrSourceMissing", G::kTransferFile, E::kStops,
     "The source SrcDir/SrcFile does not exist.", kUntouched,
     "Put the file on the medium where the section says (update-medium check MEDIUM reports "
     "every missing one) and run the update again."},
    {kErrRemoveBackup, "kErrRemoveBackup", G::kTransferFile, E::kStops,
     "The old backup at BackupDir/BackupFile could not be removed.",
     "The verified interim copy, mode 0755; the installed file and the old backup untouched.",
     kFixInstrument},
    {kErrMoveToBackup, "kErrMoveToBackup", G::kTransferFile, E::kStops,
     "The installed file could be neither linked nor copied to the backup path, or the "
     "destination does not exist and DestNoExist is not true.",
     "The installed file is still the old one, beside the interim copy. After a failed link "
     "or copy the old backup is gone and nothing is at the backup path; a missing destination "
     "leaves the old backup as it was.",
     "For a first installation set DestNoExist = true in the section (and sign the manifest "
     "again); "
     "otherwise the instrument's file system refused the backup (full, read-only or "
     "damaged): make room or repair it and run the same medium again."},
    {kErrMoveIntoPlace, "kErrMoveIntoPlace", G::kTransferFile, E::kStops,
     "The verified interim copy could not be renamed over the destination, as when InterimDir "
     "lies on another file system (the stick's, for one).",
     "The previous file, if any, at the destination and at the backup path; the interim "
     "copy.",
     "Put InterimDir on the destination's file system (update-medium check MEDIUM reports one "
     "on the stick); otherwise repair the instrument's file system. Then run the update "
     "again."},
    {kErrCopyInterim, "kErrCopyInterim", G::kTransferFile, E::kStops,
     "Copying the source to the interim file failed: a read error on the stick, a full "
     "file system on the instrument, or a source that is no regular file.",
     "The interim file, possibly partial or empty; the installed file and its backup "
     "untouched.",
     "Copy the file onto the stick again and make room on the instrument, then run the "
     "update again."},
    {kErrTimeStampOlder, "kErrTimeStampOlder", G::kTransferFile, E::kGoesOn,
     "The medium's build (TimeStamp) is older than the installed one (-t): this TransferFile "
     "and every later one whose TimeStamp is checked is skipped.",
     "The skipped files untouched; the other steps ran.",
     "Nothing, if the instrument should keep its newer build; to install the older one, run "
     "the updater with -f."},
    {kErrTimeStampSame, "kErrTimeStampSame", G::kTransferFile, E::kGoesOn,
     "The medium's build (TimeStamp) is the installed one (-t): this TransferFile and every "
     "later one whose TimeStamp is checked is skipped.",
     "The skipped files untouched; the other steps ran.",
     "Nothing: the instrument runs this build already. To install it again, run the updater "
     "with -f."},
    {kErrSha256Mismatch, "kErrSha256Mismatch", G::kTransferFile, E::kStops,
     "The interim copy's SHA-256 differs from the section's SHA256Hash (a missing SHA256Hash "
     "never matches); its MD5 matched.",
     "The interim copy; the installed file and its backup untouched.",
     "The file on the stick was changed or the digest is stale: copy the file onto the stick "
     "again, or run update-medium digests MEDIUM and sign the manifest again."},

    // ConfigUpdate.
    {kErrCfgNoBackupDir, "kErrCfgNoBackupDir", G::kConfigUpdate, E::kStops,
     "A ConfigUpdate section has no BackupDir.", kUntouched, kFixSection},
    {kErrCfgNoBackupFile, "kErrCfgNoBackupFile", G::kConfigUpdate, E::kStops,
     "A ConfigUpdate section has no BackupFile.", kUntouched, kFixSection},
    {kErrCfgNoDestDir, "kErrCfgNoDestDir", G::kConfigUpdate, E::kStops,
     "A ConfigUpdate section has no DestDir.", kUntouched, kFixSection},
    {kErrCfgNoDestFile, "kErrCfgNoDestFile", G::kConfigUpdate, E::kStops,
     "A ConfigUpdate section has no DestFile.", kUntouched, kFixSection},
    {kErrCfgNoSrcDir, "kErrCfgNoSrcDir", G::kConfigUpdate, E::kStops,
     "A ConfigUpdate section has no SrcDir.", kUntouched, kFixSection},
    {kErrCfgNoSrcFile, "kErrCfgNoSrcFile", G::kConfigUpdate, E::kStops,
     "A ConfigUpdate section has no SrcFile.", kUntouched, kFixSection},
    {kErrCfgCloseDest, "kErrCfgCloseDest", G::kConfigUpdate, E::kStops,
     "Writing, flushing, syncing or closing the merged settings DestFile.new failed.",
     "The settings untouched; their old backup gone; no DestFile.new.", kFixInstrument},
    {kErrCfgDestMissing, "kErrCfgDestMissing", G::kConfigUpdate, E::kStops,
     "The installed settings DestDir/DestFile do not exist.", kUntouched,
     "Check DestDir and DestFile on the medium; settings that the instrument lacks are "
     "installed with a TransferFile, not merged. Then run the update again."},
    {kErrCfgValue, "kErrCfgValue", G::kConfigUpdate, E::kStops,
     "A ConfigUpdate value is too long (a path of 256 characters or more, a digest of 512), "
     "or the backup path names the settings or the template.",
     kUntouched, kFixSection},
    {kErrCfgCreateDest, "kErrCfgCreateDest", G::kConfigUpdate, E::kStops,
     "The merged settings DestFile.new could not be created beside the settings, or not "
     "renamed over them.",
     "The settings untouched; their old backup gone. After a failed rename the settings are "
     "at the backup path too.",
     kFixInstrument},
    {kErrCfgReadDest, "kErrCfgReadDest", G::kConfigUpdate, E::kStops,
     "The installed settings cannot be read (a line of more than 511 characters included).",
     kUntouched,
     "Repair or replace the settings file on the instrument (its backup may help), then run "
     "the update again."},
    {kErrCfgReadSource, "kErrCfgReadSource", G::kConfigUpdate, E::kStops,
     "The template cannot be read: a line of more than 511 characters, a read error, or no "
     "regular file.",
     kUntouched,
     "Copy a good template onto the stick (update-medium check MEDIUM reads it as the "
     "instrument does) and run the update again."},
    {kErrCfgRemoveBackup, "kErrCfgRemoveBackup", G::kConfigUpdate, E::kStops,
     "The old backup of the settings could not be removed.",
     "The settings and everything else untouched.", kFixInstrument},
    {kErrCfgMoveToBackup, "kErrCfgMoveToBackup", G::kConfigUpdate, E::kStops,
     "The installed settings could be neither linked nor copied to the backup path.",
     "The settings untouched; their old backup gone and nothing at the backup path; no "
     "DestFile.new.",
     kFixInstrument},
    {kErrCfgSourceMissing, "kErrCfgSourceMissing", G::kConfigUpdate, E::kStops,
     "The template SrcDir/SrcFile does not exist.", kUntouched,
     "Put the template on the medium where the section says (update-medium check MEDIUM "
     "reports it) and run the update again."},
    {kErrCfgDigest, "kErrCfgDigest", G::kConfigUpdate, E::kStops,
     "The template does not match its MD5Hash or SHA256Hash, could not be read for them, or "
     "changed while it was read.",
     kUntouched,
     "Copy the template onto the stick again, or run update-medium digests MEDIUM and sign "
     "the manifest again; then run the update again."},
    {kErrCfgSourceVersion, "kErrCfgSourceVersion", G::kConfigUpdate, E::kStops,
     "The template's first line is no version line (V and a number, as V2.3).", kUntouched,
     "Give the template its version line on the medium (update-medium check MEDIUM reports "
     "it) and run the update again."},
    {kErrCfgDestVersion, "kErrCfgDestVersion", G::kConfigUpdate, E::kStops,
     "The installed settings' first line is no version line (V and a number, as V2.2).", kUntouched,
     "Repair the first line of the settings on the instrument, or restore them from their "
     "backup, then run the update again."},

    // MSP430Update.
    {kErrMspCommands, "kErrMspCommands", G::kMsp430Update, E::kGoesOn,
     "Command1 failed, and so did both runs of Command2 after it.",
     "The microcontroller possibly programmed in part; the other steps ran.",
     "Find out why the programming commands fail (the JTAG connection, the data file), then "
     "run the update again."},
    {kErrMspDigest, "kErrMspDigest", G::kMsp430Update, E::kStops,
     "The DataPath1 file does not match its MD5Hash or SHA256Hash, is missing or cannot be "
     "read, or the section has digests but no DataPath1.",
     kNothingRan,
     "Copy the data file onto the stick again, or run update-medium digests MEDIUM and sign "
     "the manifest again; then run the update again."},
    {kErrMspCommand1, "kErrMspCommand1", G::kMsp430Update, E::kStops,
     "The MSP430Update section has no Command1, or it has 128 characters or more.", kNothingRan,
     kFixSection},
    {kErrMspCommand2, "kErrMspCommand2", G::kMsp430Update, E::kStops,
     "The MSP430Update section has no Command2, or it has 128 characters or more.", kNothingRan,
     kFixSection},
    {kErrMspJtagValue, "kErrMspJtagValue", G::kMsp430Update, E::kStops,
     "The MSP430Update section has no CommandJTAG or one of 128 characters or more, or its "
     "DataPath1 (514 or more) or a digest (512 or more) is too long.",
     kNothingRan, kFixSection},
    {kErrMspJtagFailed, "kErrMspJtagFailed", G::kMsp430Update, E::kStops,
     "The CommandJTAG command failed, so Command1 and Command2 did not run.",
     "What the failed command did; what earlier steps installed stays.",
     "Check the JTAG connection and the command, then run the update again."},

    // FlashUpdate.
    {kErrFlashNoDataPath, "kErrFlashNoDataPath", G::kFlashUpdate, E::kStops,
     "A FlashUpdate section has no DataPath1.", kNothingRan, kFixSection},
    {kErrFlashNoDevice, "kErrFlashNoDevice", G::kFlashUpdate, E::kStops,
     "A FlashUpdate section has no Device.", kNothingRan, kFixSection},
    {kErrFlashNoErase, "kErrFlashNoErase", G::kFlashUpdate, E::kStops,
     "A FlashUpdate section has no EraseCommand.", kNothingRan, kFixSection},
    {kErrFlashValue, "kErrFlashValue", G::kFlashUpdate, E::kStops,
     "A FlashUpdate value is too long: Device of 64 characters or more, Offset of 32, "
     "EraseCommand or WriteCommand of 128, DataPath1 of 514, a digest of 512.",
     kNothingRan, kFixSection},
    {kErrFlashNoOffset, "kErrFlashNoOffset", G::kFlashUpdate, E::kStops,
     "A FlashUpdate section has no Offset.", kNothingRan, kFixSection},
    {kErrFlashNoWrite, "kErrFlashNoWrite", G::kFlashUpdate, E::kStops,
     "A FlashUpdate section has no WriteCommand.", kNothingRan, kFixSection},
    {kErrFlashCommand, "kErrFlashCommand", G::kFlashUpdate, E::kGoesOn,
     "The flashing command (WriteCommand DataPath1 Device) failed: it exited non-zero, was "
     "killed by a signal, or no shell could start it.",
     "The flash device possibly written in part; the other steps ran.",
     "Find out why the command failed (the flashing tool, the data file, the device), then "
     "run the update again to flash anew."},
    {kErrFlashDigest, "kErrFlashDigest", G::kFlashUpdate, E::kStops,
     "The DataPath1 file does not match its MD5Hash or SHA256Hash, or is missing or cannot "
     "be read.",
     kNothingRan,
     "Copy the data file onto the stick again, or run update-medium digests MEDIUM and sign "
     "the manifest again; then run the update again."},

    // RemoveFiles.
    {kErrRemoveValue, "kErrRemoveValue", G::kRemoveFiles, E::kStops,
     "A RemoveFiles entry (file1, file2, ...) has 514 characters or more.",
     "The files listed before it are removed; it and the files after it are not.", kFixSection},
    {kErrRemoveFailed, "kErrRemoveFailed", G::kRemoveFiles, E::kStops,
     "A listed file exists and could not be removed; the rest of the list was worked "
     "through first.",
     "Every other listed file removed; the ones that failed still there.",
     "Look at the files that remain (a folder cannot be removed this way; the file system "
     "may be read-only), remove or repair them, then run the update again."},
});

constexpr bool CodesUniqueAndGroupsInOrder() {
  for (std::size_t i = 0; i < kCodes.size(); ++i) {
    for (std::size_t j = i + 1; j < kCodes.size(); ++j) {
      if (kCodes[i].code == kCodes[j].code) return false;
    }
    if (i > 0 && kCodes[i].group < kCodes[i - 1].group) return false;
    if (i > 0 && kCodes[i].group == kCodes[i - 1].group && kCodes[i].code < kCodes[i - 1].code) {
      return false;
    }
  }
  return true;
}
static_assert(CodesUniqueAndGroupsInOrder(),
              "each code once, groups in CodeGroup order, numbers rising within a group");

}  // namespace

std::string_view GroupTitle(CodeGroup group) {
  switch (group) {
    case CodeGroup::kStartup:
      return "Start-up and completion";
    case CodeGroup::kManifest:
      return "The manifest and its signature";
    case CodeGroup::kTransferFile:
      return "TransferFile and BackupFiles";
    case CodeGroup::kConfigUpdate:
      return "ConfigUpdate";
    case CodeGroup::kMsp430Update:
      return "MSP430Update";
    case CodeGroup::kFlashUpdate:
      return "FlashUpdate";
    case CodeGroup::kRemoveFiles:
      return "RemoveFiles";
  }
  return "";
}

std::string_view EffectText(RunEffect effect) {
  switch (effect) {
    case RunEffect::kStopsEarly:
      return "The updater stops at start-up, before any step; nothing is restarted; exit "
             "status 1.";
    case RunEffect::kStops:
      return "The run stops: the stick stays mounted and the main application is not "
             "restarted; exit status 1.";
    case RunEffect::kEnds:
      return "The run ends: the stick is unmounted and the main application restarted; "
             "exit status 1.";
    case RunEffect::kGoesOn:
      return "Shown and logged while the run goes on to its usual ending; exit status 0 "
             "unless a later step fails.";
    case RunEffect::kStored:
      return "Never shown or logged: the updater only keeps it in its run record.";
  }
  return "";
}

std::string_view EffectLabel(RunEffect effect) {
  switch (effect) {
    case RunEffect::kStopsEarly:
      return "stops early";
    case RunEffect::kStops:
      return "stops";
    case RunEffect::kEnds:
      return "ends the run";
    case RunEffect::kGoesOn:
      return "goes on";
    case RunEffect::kStored:
      return "not shown";
  }
  return "";
}

std::span<const CodeEntry> CodeReference() {
  return kCodes;
}

const CodeEntry* FindCode(int code) {
  for (const CodeEntry& entry : kCodes) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

}  // namespace upd::medium
