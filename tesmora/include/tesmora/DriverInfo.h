// The in-house driver library: drivers installed on the local host.
//
// One object per use; not shared between threads. Calls go to the backend pinned at
// construction (see Backend.h); its exceptions pass through.
#pragma once

#include <memory>
#include <vector>

#include "tesmora/DriverData.h"
#include "tesmora/Export.h"

namespace Tesmora {

class Backend;

class TESMORA_API DriverInfo {
public:
    enum DriverInfoSetType {
        DRIVERS_ALL = 0,     // every driver the system knows, loaded or built in
        DRIVERS_BOOT = 1,    // drivers started at boot
        DRIVERS_LOADED = 2,  // drivers loaded right now
    };

    // Results of list_drivers besides 0 (success).
    enum : int {
        kListFailed = 1,
        kListUnavailable = 1745,  // the system keeps no driver list to read
    };

    DriverInfo();
    ~DriverInfo();
    DriverInfo(const DriverInfo&) = delete;
    DriverInfo& operator=(const DriverInfo&) = delete;

    // Appends the selected drivers to drivers; 0 on success.
    int list_drivers(std::vector<DriverData>& drivers, const DriverInfoSetType& set_type);

private:
    std::shared_ptr<Backend> backend_;
};

}  // namespace Tesmora
