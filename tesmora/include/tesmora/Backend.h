// What answers the in-house library stand-ins.
//
// Every library object forwards its construction, each call and its destruction to one Backend,
// the process's current one at the time the object was constructed (the object keeps it alive
// until it is destroyed). The default backend serves the local host for real and asks remote
// endpoints themselves (NetworkBackend.h, with default options); InventoryBackend.h answers them
// from a file instead; tests install a scripted one with ScopedBackend.
//
// A backend's members may be called from several threads at once and must allow that. Whatever
// a member throws leaves the library call (or constructor) it serves unchanged.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tesmora/Agentless.h"
#include "tesmora/CMMInventory.h"
#include "tesmora/ConnectionInfo.h"
#include "tesmora/DeviceCollector.h"
#include "tesmora/DriverData.h"
#include "tesmora/DriverInfo.h"
#include "tesmora/Export.h"
#include "tesmora/OperatingSystem.h"
#include "tesmora/OsInfo.h"
#include "tesmora/PSUFwInfo.h"
#include "tesmora/SMMInventory.h"
#include "tesmora/SystemCheck.h"
#include "tesmora/TSOptions.h"

namespace Tesmora {

class TESMORA_API Backend {
public:
    using ConnectionInfo = TesmoraConnection::ConnectionInfo;
    using SoftwareIdentity = TSOptions::SoftwareIdentity_;

    virtual ~Backend();

    // Operating-system library.
    virtual void OperatingSystemCreated() = 0;
    virtual int OperatingSystemGetOSType(std::string& os_type) = 0;
    virtual void OperatingSystemDestroyed() = 0;

    // CIM OS-information library.
    virtual void OsInfoCreated(const OsInfoEndpoint& endpoint) = 0;
    virtual osinfo::OSINFORETURNCODE OsInfoGetVersion(const OsInfoEndpoint& endpoint,
                                                      OSINFO& info) = 0;
    virtual void OsInfoDestroyed(const OsInfoEndpoint& endpoint) = 0;

    // Driver library.
    virtual void DriverInfoCreated() = 0;
    virtual int DriverInfoListDrivers(std::vector<DriverData>& drivers,
                                      DriverInfo::DriverInfoSetType set_type) = 0;
    virtual void DriverInfoDestroyed() = 0;

    // Device collector.
    virtual void DeviceCollectorCreated() = 0;
    virtual int DeviceCollectorGetDiskDriverSoftwareIdentities(
        std::vector<SoftwareIdentity>& identities) = 0;
    virtual void DeviceCollectorDestroyed() = 0;

    // Agentless inventory library.
    virtual void AgentlessCreated(const ConnectionInfo& connection) = 0;
    virtual int AgentlessGetPLDMSoftwareIdentities(const ConnectionInfo& connection,
                                                   std::vector<SoftwareIdentity>& identities) = 0;
    virtual void AgentlessDestroyed(const ConnectionInfo& connection) = 0;

    // Chassis inventory library.
    virtual void CMMInventoryCreated(const ChassisEndpoint& endpoint) = 0;
    virtual bool CMMInventoryIsCMM(const ChassisEndpoint& endpoint) = 0;
    virtual int CMMInventoryGetChassisInfo(const ChassisEndpoint& endpoint, ChassisInfo& info) = 0;
    virtual int CMMInventoryGetCMMData(const ChassisEndpoint& endpoint, CMMDataList& list) = 0;
    virtual int CMMInventoryGetSwitchType(const ChassisEndpoint& endpoint, int bay) = 0;
    virtual int CMMInventoryGetModuleBays(const ChassisEndpoint& endpoint,
                                          std::vector<std::pair<int, int>>& bays) = 0;
    virtual int CMMInventoryGetIOModuleDataByBayID(const ChassisEndpoint& endpoint, int bay,
                                                   CIMIODataList& list) = 0;
    virtual int CMMInventoryGetPassThruData(const ChassisEndpoint& endpoint, int bay,
                                            CIMIODataList& list) = 0;
    virtual void CMMInventoryDestroyed(const ChassisEndpoint& endpoint) = 0;

    // SMM inventory library.
    virtual void SMMInventoryCreated(const ConnectionInfo& connection) = 0;
    virtual SMMInventoryErrorCode SMMInventoryGetSmmMT(const ConnectionInfo& connection,
                                                       std::string& machine_type) = 0;
    virtual SMMInventoryErrorCode SMMInventoryGetSmmSN(const ConnectionInfo& connection,
                                                       std::string& serial_number) = 0;
    virtual SMMInventoryErrorCode SMMInventoryGetSmmFirmware(const ConnectionInfo& connection,
                                                             SMMFirmware& firmware) = 0;
    virtual SMMInventoryErrorCode SMMInventoryGetPSUFirmware(
        const ConnectionInfo& connection, std::vector<PSUFwInfo>& power_supplies) = 0;
    virtual void SMMInventoryDestroyed(const ConnectionInfo& connection) = 0;

    // System-check library.
    virtual void SystemCheckCreated(const SystemCheckTargets& targets) = 0;
    virtual SystemCheck::ErrorCode SystemCheckGetMachineType(
        const SystemCheckTargets& targets, std::pair<std::string, std::string>& machine_type) = 0;
    virtual void SystemCheckDestroyed(const SystemCheckTargets& targets) = 0;
};

// The backend new library objects use: the installed one, else the default backend.
TESMORA_API std::shared_ptr<Backend> CurrentBackend();

// Makes backend the current one (nullptr restores the default) and returns the previous one.
TESMORA_API std::shared_ptr<Backend> SetBackend(std::shared_ptr<Backend> backend);

// Installs a backend for its own lifetime, then puts the previous one back. Objects constructed
// meanwhile keep using it after the guard is gone.
class TESMORA_API ScopedBackend {
public:
    explicit ScopedBackend(std::shared_ptr<Backend> backend);
    ~ScopedBackend();
    ScopedBackend(const ScopedBackend&) = delete;
    ScopedBackend& operator=(const ScopedBackend&) = delete;

private:
    std::shared_ptr<Backend> previous_;
};

}  // namespace Tesmora
