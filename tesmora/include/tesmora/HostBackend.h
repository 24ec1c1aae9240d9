// What the local machine itself tells, and the backend base that serves it.
//
// LocalHost reads this machine: its OS, its drivers and its disk drivers. Each platform has its
// own (LinuxHost, WindowsHost); results follow the conventions of the library that asks (0 is
// success). HostBackend answers the local libraries (operating system, drivers, device
// collector) from a LocalHost and leaves the remote ones (CIM OS information, agentless,
// chassis, SMM, system check) to the backend built on it: InventoryBackend answers them from a
// file, NetworkBackend from the endpoints themselves.
//
// Threads: a LocalHost and a HostBackend may serve several threads at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tesmora/Backend.h"
#include "tesmora/Export.h"

namespace Tesmora {

class TESMORA_API LocalHost {
public:
    virtual ~LocalHost();
    virtual int ReadOsType(std::string& os_type) = 0;
    virtual int ListDrivers(std::vector<DriverData>& drivers,
                            DriverInfo::DriverInfoSetType set_type) = 0;
    virtual int ListDiskDrivers(std::vector<TSOptions::SoftwareIdentity_>& identities) = 0;
};

// The running platform's LocalHost.
TESMORA_API std::unique_ptr<LocalHost> MakeLocalHost();

class TESMORA_API HostBackend : public Backend {
public:
    ~HostBackend() override;

    void OperatingSystemCreated() override {}
    int OperatingSystemGetOSType(std::string& os_type) override;
    void OperatingSystemDestroyed() override {}

    void DriverInfoCreated() override {}
    int DriverInfoListDrivers(std::vector<DriverData>& drivers,
                              DriverInfo::DriverInfoSetType set_type) override;
    void DriverInfoDestroyed() override {}

    void DeviceCollectorCreated() override {}
    int DeviceCollectorGetDiskDriverSoftwareIdentities(
        std::vector<SoftwareIdentity>& identities) override;
    void DeviceCollectorDestroyed() override {}

protected:
    explicit HostBackend(std::unique_ptr<LocalHost> local_host);

private:
    std::unique_ptr<LocalHost> local_host_;
};

}  // namespace Tesmora
