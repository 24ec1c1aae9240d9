// The local host as Windows describes itself: the registry, the loaded driver images and the
// service control manager.
//
//   OS type text   HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion: ProductName, EditionID
//                  and CurrentBuildNumber (see WindowsOsTypeText)
//   drivers        DRIVERS_LOADED: the loaded driver images, then the running driver services
//                  not among them; DRIVERS_BOOT: the driver services started at boot;
//                  DRIVERS_ALL: the loaded images and every driver service. Versions,
//                  descriptions and providers come from each file's version resource.
//   disk drivers   the running storage-controller drivers (services of the "SCSI miniport"
//                  load-order group)
//
// Holds nothing; asks the system afresh on every call and may be used from several threads at
// once. Failures give non-zero results, never exceptions; std::bad_alloc passes through.
#pragma once

#include "tesmora/HostBackend.h"
#include "tesmora/Export.h"

namespace Tesmora {

class TESMORA_API WindowsHost : public LocalHost {
public:
    int ReadOsType(std::string& os_type) override;
    int ListDrivers(std::vector<DriverData>& drivers,
                    DriverInfo::DriverInfoSetType set_type) override;
    int ListDiskDrivers(std::vector<TSOptions::SoftwareIdentity_>& identities) override;

    // Result of ReadOsType when the registry names no product.
    enum : int {
        kRegistryUnreadable = 2,
    };
};

}  // namespace Tesmora
