// The library objects: each pins the current backend and forwards to it.
#include "tesmora/Backend.h"

namespace Tesmora {

namespace TSOperatingSystem {

OperatingSystem::OperatingSystem() : backend_(CurrentBackend()) {
    backend_->OperatingSystemCreated();
}
OperatingSystem::~OperatingSystem() {
    backend_->OperatingSystemDestroyed();
}
int OperatingSystem::GetOSType(std::string& os_type) {
    return backend_->OperatingSystemGetOSType(os_type);
}

}  // namespace TSOperatingSystem

osinfo::osinfo(const std::string& host, const std::string& user, const std::string& password,
               unsigned short port, const CIMCONNECTIONTYPE& connection_type)
    : endpoint_{host, user, password, port, static_cast<int>(connection_type)},
      backend_(CurrentBackend()) {
    backend_->OsInfoCreated(endpoint_);
}
osinfo::~osinfo() {
    backend_->OsInfoDestroyed(endpoint_);
}
osinfo::OSINFORETURNCODE osinfo::osinfoGetVersion(OSINFO& info) {
    return backend_->OsInfoGetVersion(endpoint_, info);
}

DriverInfo::DriverInfo() : backend_(CurrentBackend()) {
    backend_->DriverInfoCreated();
}
DriverInfo::~DriverInfo() {
    backend_->DriverInfoDestroyed();
}
int DriverInfo::list_drivers(std::vector<DriverData>& drivers, const DriverInfoSetType& set_type) {
    return backend_->DriverInfoListDrivers(drivers, set_type);
}

namespace TSSystemDevice {

DeviceCollector::DeviceCollector() : backend_(CurrentBackend()) {
    backend_->DeviceCollectorCreated();
}
DeviceCollector::~DeviceCollector() {
    backend_->DeviceCollectorDestroyed();
}
int DeviceCollector::GetDiskDriverSoftwareIdentities(
    std::vector<TSOptions::SoftwareIdentity_>& identities) {
    return backend_->DeviceCollectorGetDiskDriverSoftwareIdentities(identities);
}

}  // namespace TSSystemDevice

namespace Agentless {

AgentlessSoftwareIdentity::AgentlessSoftwareIdentity(
    const TesmoraConnection::ConnectionInfo& connection)
    : connection_(connection), backend_(CurrentBackend()) {
    backend_->AgentlessCreated(connection_);
}
AgentlessSoftwareIdentity::~AgentlessSoftwareIdentity() {
    backend_->AgentlessDestroyed(connection_);
}
int AgentlessSoftwareIdentity::GetPLDMSoftwareIdentities(
    std::vector<TSOptions::SoftwareIdentity_>& identities) {
    return backend_->AgentlessGetPLDMSoftwareIdentities(connection_, identities);
}

}  // namespace Agentless

CMMInventory::CMMInventory(const std::string& host, unsigned short port, const std::string& user,
                           const std::string& password)
    : endpoint_{host, port, user, password}, backend_(CurrentBackend()) {
    backend_->CMMInventoryCreated(endpoint_);
}
CMMInventory::~CMMInventory() {
    backend_->CMMInventoryDestroyed(endpoint_);
}
bool CMMInventory::IsCMM() {
    return backend_->CMMInventoryIsCMM(endpoint_);
}
int CMMInventory::GetModuleBays(std::vector<std::pair<int, int>>& bays) {
    return backend_->CMMInventoryGetModuleBays(endpoint_, bays);
}
int CMMInventory::GetChassisInfo(ChassisInfo& info) {
    return backend_->CMMInventoryGetChassisInfo(endpoint_, info);
}
int CMMInventory::GetCMMData(CMMDataList& list) {
    return backend_->CMMInventoryGetCMMData(endpoint_, list);
}
int CMMInventory::GetSwitchType(int bay) {
    return backend_->CMMInventoryGetSwitchType(endpoint_, bay);
}
int CMMInventory::GetIOModuleDataByBayID(int bay, CIMIODataList& list) {
    return backend_->CMMInventoryGetIOModuleDataByBayID(endpoint_, bay, list);
}
int CMMInventory::GetPassThruData(int bay, CIMIODataList& list) {
    return backend_->CMMInventoryGetPassThruData(endpoint_, bay, list);
}

SMMInventory::SMMInventory(const TesmoraConnection::ConnectionInfo& connection)
    : connection_(connection), backend_(CurrentBackend()) {
    backend_->SMMInventoryCreated(connection_);
}
SMMInventory::~SMMInventory() {
    backend_->SMMInventoryDestroyed(connection_);
}
SMMInventoryErrorCode SMMInventory::GetSmmMT(std::string& machine_type) {
    return backend_->SMMInventoryGetSmmMT(connection_, machine_type);
}
SMMInventoryErrorCode SMMInventory::GetSmmSN(std::string& serial_number) {
    return backend_->SMMInventoryGetSmmSN(connection_, serial_number);
}
SMMInventoryErrorCode SMMInventory::GetSmmFirmware(SMMFirmware& firmware) {
    return backend_->SMMInventoryGetSmmFirmware(connection_, firmware);
}
SMMInventoryErrorCode SMMInventory::GetPSUFirmware(std::vector<PSUFwInfo>& power_supplies) {
    return backend_->SMMInventoryGetPSUFirmware(connection_, power_supplies);
}

SystemCheck::SystemCheck(const std::vector<TesmoraConnection::ConnectionInfo>& connections,
                         const std::string& first_list, const std::string& second_list,
                         const std::string& third_list, const std::string& fourth_list)
    : targets_{connections, {first_list, second_list, third_list, fourth_list}},
      backend_(CurrentBackend()) {
    backend_->SystemCheckCreated(targets_);
}
SystemCheck::~SystemCheck() {
    backend_->SystemCheckDestroyed(targets_);
}
SystemCheck::ErrorCode SystemCheck::GetMachineType(
    std::pair<std::string, std::string>& machine_type) {
    return backend_->SystemCheckGetMachineType(targets_, machine_type);
}

}  // namespace Tesmora
