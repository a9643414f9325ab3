// Fixed paths and names of the instrument and the update medium.
#pragma once

#include <array>

namespace upd {

inline constexpr const char kVersion[] = "v0.4";

inline constexpr const char kDefaultDevice[] = "/dev/disk/by-label/CORVENAL";
inline constexpr const char kMountPoint[] = "/mnt";
inline constexpr const char kMediumFsType[] = "vfat";

/// sysfs entries of a USB interface bound to usb-storage, in the order tested:
/// bus 2, port paths 1.4.3, 1.4.2, 1.1 and 1.2, configuration 1, interface 0.
inline constexpr std::array<const char*, 4> kUsbPresencePaths = {
    "/sys/bus/usb/drivers/usb-storage/2-1.4.3:1.0",
    "/sys/bus/usb/drivers/usb-storage/2-1.4.2:1.0",
    "/sys/bus/usb/drivers/usb-storage/2-1.1:1.0",
    "/sys/bus/usb/drivers/usb-storage/2-1.2:1.0",
};

inline constexpr const char kErrorLogPath[] = "/home/Corvenal/log/UpdateErrorLog.txt";
inline constexpr const char kDownloadDir[] = "/home/Corvenal/download";
inline constexpr const char kSplashProgram[] = "/home/Corvenal/bin/qsplash";
inline constexpr const char kSplashImage[] = "/home/Corvenal/bin/CorvenalSplash.png";
inline constexpr const char kSplashDisplayOption[] =
    "-platform linuxfb:nographicsmodeswitch:size=480x272:mmsize=95x54";
inline constexpr const char kMainApplication[] = "/home/Corvenal/bin/corvenal";
inline constexpr const char kMainApplicationBackup[] = "/home/Corvenal/bin/corvenal.bak";
inline constexpr const char kRebootProgram[] = "/sbin/reboot";

inline constexpr const char kManifestPath[] = "/mnt/firmware/AuxInfo.txt";
inline constexpr const char kSignaturePath[] = "/mnt/firmware/AuxInfo.txt.sha256";
inline constexpr const char kPublicKeyPath[] = "/home/Corvenal/bin/MirelCal.pub";

/// First number of every error-log line.
inline constexpr int kErrorLogTag = 1902;

}  // namespace upd
