// The local host as a Linux system describes itself in its files.
//
// Reads, under a root directory ("/" normally; tests pass a prepared tree):
//   etc/os-release, else usr/lib/os-release
//                                    the OS type text (PRETTY_NAME, else NAME and VERSION)
//   proc/modules                     the loaded driver modules
//   sys/bus/BUS/drivers/NAME         the drivers registered in the running kernel, built in or
//                                    loaded (with a "module" link for those of a module)
//   sys/module/NAME/version          a driver's version, where the driver declares one
//   lib/modules/RELEASE/modules.dep  where each module's file lies (RELEASE from
//                                    proc/sys/kernel/osrelease)
//   lib/modules/RELEASE/modules.builtin  modules built into the kernel
//   sys/block/DEV/device/driver, or DEV/device/device/driver for NVMe namespaces
//                                    the driver behind each disk (a symbolic link)
//
// Driver sets: DRIVERS_LOADED (and DRIVERS_BOOT, as Linux keeps no boot list) give the loaded
// modules, then the bus drivers not of a listed module; DRIVERS_ALL adds the built-in modules.
// The list is unavailable only when neither proc/modules nor sys/bus exists.
//
// Holds nothing but the root, reads files afresh on every call, and may be used from several
// threads at once. A file that is missing or unreadable gives a non-zero result, never an
// exception; std::bad_alloc passes through.
#pragma once

#include <filesystem>

#include "tesmora/HostBackend.h"
#include "tesmora/Export.h"

namespace Tesmora {

class TESMORA_API LinuxHost : public LocalHost {
public:
    explicit LinuxHost(std::filesystem::path root = "/");

    int ReadOsType(std::string& os_type) override;
    int ListDrivers(std::vector<DriverData>& drivers,
                    DriverInfo::DriverInfoSetType set_type) override;
    int ListDiskDrivers(std::vector<TSOptions::SoftwareIdentity_>& identities) override;

    // Result of ReadOsType when os-release is missing or names nothing.
    enum : int {
        kOsReleaseUnreadable = 2,
    };

private:
    std::filesystem::path root_;
};

}  // namespace Tesmora
