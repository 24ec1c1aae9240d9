#include "tesmora/DefaultBackend.h"

namespace Tesmora {

LocalHost::~LocalHost() = default;

DefaultBackend::DefaultBackend(std::unique_ptr<LocalHost> local_host)
    : local_host_(std::move(local_host)) {}

DefaultBackend::~DefaultBackend() = default;

int DefaultBackend::OperatingSystemGetOSType(std::string& os_type) {
    return local_host_->ReadOsType(os_type);
}

int DefaultBackend::DriverInfoListDrivers(std::vector<DriverData>& drivers,
                                          DriverInfo::DriverInfoSetType set_type) {
    return local_host_->ListDrivers(drivers, set_type);
}

int DefaultBackend::DeviceCollectorGetDiskDriverSoftwareIdentities(
    std::vector<SoftwareIdentity>& identities) {
    return local_host_->ListDiskDrivers(identities);
}

// No remote endpoint can be reached without an inventory to answer for it.

osinfo::OSINFORETURNCODE DefaultBackend::OsInfoGetVersion(const OsInfoEndpoint&, OSINFO&) {
    return osinfo::OSINFO_CONNECTION_FAILED;
}

int DefaultBackend::AgentlessGetPLDMSoftwareIdentities(const ConnectionInfo&,
                                                       std::vector<SoftwareIdentity>&) {
    return kUnreachable;
}

bool DefaultBackend::CMMInventoryIsCMM(const ChassisEndpoint&) {
    return false;
}

int DefaultBackend::CMMInventoryGetChassisInfo(const ChassisEndpoint&, ChassisInfo&) {
    return kUnreachable;
}

int DefaultBackend::CMMInventoryGetCMMData(const ChassisEndpoint&, CMMDataList&) {
    return kUnreachable;
}

int DefaultBackend::CMMInventoryGetSwitchType(const ChassisEndpoint&, int) {
    return 0;
}

int DefaultBackend::CMMInventoryGetIOModuleDataByBayID(const ChassisEndpoint&, int,
                                                       CIMIODataList&) {
    return kUnreachable;
}

int DefaultBackend::CMMInventoryGetPassThruData(const ChassisEndpoint&, int, CIMIODataList&) {
    return kUnreachable;
}

SMMInventoryErrorCode DefaultBackend::SMMInventoryGetSmmMT(const ConnectionInfo&, std::string&) {
    return SMM_CONNECTION_FAILED;
}

SMMInventoryErrorCode DefaultBackend::SMMInventoryGetSmmSN(const ConnectionInfo&, std::string&) {
    return SMM_CONNECTION_FAILED;
}

SMMInventoryErrorCode DefaultBackend::SMMInventoryGetSmmFirmware(const ConnectionInfo&,
                                                                 SMMFirmware&) {
    return SMM_CONNECTION_FAILED;
}

SMMInventoryErrorCode DefaultBackend::SMMInventoryGetPSUFirmware(const ConnectionInfo&,
                                                                 std::vector<PSUFwInfo>&) {
    return SMM_CONNECTION_FAILED;
}

SystemCheck::ErrorCode DefaultBackend::SystemCheckGetMachineType(
    const SystemCheckTargets&, std::pair<std::string, std::string>&) {
    return SystemCheck::CONNECTION_FAILED;
}

}  // namespace Tesmora
