// The in-house device collector: software identities of the local host's devices.
//
// One object per use; not shared between threads. Calls go to the backend pinned at
// construction (see Backend.h); its exceptions pass through.
#pragma once

#include <memory>
#include <vector>

#include "tesmora/Export.h"
#include "tesmora/TSOptions.h"

namespace Tesmora {

class Backend;

namespace TSSystemDevice {

class TESMORA_API DeviceCollector {
public:
    // Results besides 0 (success).
    enum : int {
        kCollectFailed = 1,
        kNoDiskController = 6,  // nothing to report, which is not a failure
    };

    DeviceCollector();
    ~DeviceCollector();
    DeviceCollector(const DeviceCollector&) = delete;
    DeviceCollector& operator=(const DeviceCollector&) = delete;

    // Appends one identity per on-board disk driver.
    int GetDiskDriverSoftwareIdentities(std::vector<TSOptions::SoftwareIdentity_>& identities);

private:
    std::shared_ptr<Backend> backend_;
};

}  // namespace TSSystemDevice
}  // namespace Tesmora
