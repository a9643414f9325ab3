// The updater's error codes. Every failure is shown as
// "Error updating firmware: <code>" and logged as "1902 <code>", except
// kErrUnmount, which is only stored in UpdateInfo::error.
#pragma once

namespace upd {

// File transfer ("TransferFile").
inline constexpr int kErrNoBackupDir = 601;
inline constexpr int kErrNoBackupFile = 602;
inline constexpr int kErrNoDestDir = 603;  // also "BackupFiles": DestDir1/DestDir2 too long
inline constexpr int kErrNoDestFile = 604;
// A value too long, a bad true/false switch, or two of the interim, destination
// and backup paths naming one file.
inline constexpr int kErrTransferValue = 605;
inline constexpr int kErrNoInterimDir = 608;
inline constexpr int kErrNoInterimFile = 609;
inline constexpr int kErrNoSrcDir = 611;  // also "BackupFiles": DestDir/SrcDir1/SrcDir2 too long
inline constexpr int kErrNoSrcFile = 612;
inline constexpr int kErrChmod = 620;
inline constexpr int kErrTimeStampConvert = 631;
// A destination or backup path names a folder (also "ConfigUpdate"): refused
// before anything is touched.
inline constexpr int kErrFolder = 642;
inline constexpr int kErrMakeDirectory = 648;
inline constexpr int kErrMd5Mismatch = 649;
inline constexpr int kErrSourceMissing = 651;
inline constexpr int kErrRemoveBackup = 653;
inline constexpr int kErrMoveToBackup = 654;
inline constexpr int kErrMoveIntoPlace = 655;
inline constexpr int kErrCopyInterim = 658;
inline constexpr int kErrSha256Mismatch = 670;

// Configuration update ("ConfigUpdate").
inline constexpr int kErrCfgNoBackupDir = 614;
inline constexpr int kErrCfgNoBackupFile = 615;
inline constexpr int kErrCfgNoDestDir = 616;
inline constexpr int kErrCfgNoDestFile = 617;
inline constexpr int kErrCfgNoSrcDir = 618;
inline constexpr int kErrCfgNoSrcFile = 619;
inline constexpr int kErrCfgCloseDest = 622;
inline constexpr int kErrCfgDestMissing = 623;
// A value too long, or a backup path naming the settings or the template.
inline constexpr int kErrCfgValue = 624;
inline constexpr int kErrCfgCreateDest = 625;
inline constexpr int kErrCfgReadDest = 626;
inline constexpr int kErrCfgReadSource = 627;
inline constexpr int kErrCfgRemoveBackup = 628;
inline constexpr int kErrCfgMoveToBackup = 629;
inline constexpr int kErrCfgSourceMissing = 630;
inline constexpr int kErrCfgDigest = 643;  // the template does not match its MD5Hash/SHA256Hash
inline constexpr int kErrCfgSourceVersion = 662;
inline constexpr int kErrCfgDestVersion = 663;

// Sequence runner.
inline constexpr int kErrOperationTooLong = 606;
inline constexpr int kErrManifestRead = 610;
inline constexpr int kErrSequence = 613;
inline constexpr int kErrFlashNoDataPath = 632;
inline constexpr int kErrFlashNoDevice = 634;
inline constexpr int kErrFlashNoErase = 635;
inline constexpr int kErrFlashValue = 636;
inline constexpr int kErrFlashNoOffset = 637;
inline constexpr int kErrFlashNoWrite = 639;
// A data file that does not match its MD5Hash/SHA256Hash (a missing or
// unreadable one included): the run stops before any command runs.
inline constexpr int kErrFlashDigest = 644;  // "FlashUpdate" DataPath1
inline constexpr int kErrMspDigest = 645;    // "MSP430Update" DataPath1, or digests without it
// Reported like 659 and 660: shown and logged, and the run goes on.
inline constexpr int kErrFlashCommand = 640;  // the "FlashUpdate" command failed
inline constexpr int kErrMspCommands = 641;   // "Command1" and both runs of "Command2" failed
inline constexpr int kErrMspCommand1 = 646;
inline constexpr int kErrMspCommand2 = 647;
inline constexpr int kErrRemoveValue = 656;
inline constexpr int kErrRemoveFailed = 657;
inline constexpr int kErrTimeStampOlder = 659;
inline constexpr int kErrTimeStampSame = 660;
inline constexpr int kErrMspJtagValue = 666;
inline constexpr int kErrMspJtagFailed = 667;
inline constexpr int kErrSignature = 668;

// Start-up and completion.
inline constexpr int kErrTimestampArg = 621;
inline constexpr int kErrMount = 650;
inline constexpr int kErrNoMedium = 652;
inline constexpr int kErrUnmount = 661;
inline constexpr int kErrDeviceArg = 669;

}  // namespace upd
