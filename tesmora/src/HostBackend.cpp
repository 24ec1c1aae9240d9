#include "tesmora/HostBackend.h"

namespace Tesmora {

LocalHost::~LocalHost() = default;

HostBackend::HostBackend(std::unique_ptr<LocalHost> local_host)
    : local_host_(std::move(local_host)) {}

HostBackend::~HostBackend() = default;

int HostBackend::OperatingSystemGetOSType(std::string& os_type) {
    return local_host_->ReadOsType(os_type);
}

int HostBackend::DriverInfoListDrivers(std::vector<DriverData>& drivers,
                                       DriverInfo::DriverInfoSetType set_type) {
    return local_host_->ListDrivers(drivers, set_type);
}

int HostBackend::DeviceCollectorGetDiskDriverSoftwareIdentities(
    std::vector<SoftwareIdentity>& identities) {
    return local_host_->ListDiskDrivers(identities);
}

}  // namespace Tesmora
