// The backend that answers remote endpoints (BMC, CMM, SMM, hypervisor hosts) from an inventory
// (Inventory.h), for machines that reach no real endpoint and for offline examples; the local
// host is read for real (HostBackend.h).
//
// A remote call looks its endpoint's host up in the inventory. A host the inventory does not
// list, one of another kind than the library asks for, or no inventory at all: the endpoint is
// unreachable and the call says so in its library's terms, writing nothing. A host that lists
// credentials refuses other users and passwords with its library's authentication failure.
// A call the host's failures name returns that code and writes nothing. Each of these failures
// is also told, with its cause, to the DiagnosticSink given at construction. Otherwise the call
// answers from the host's record, appending to lists as the libraries do.
//
// The system check also reads the systems lists it was given, afresh on every call: machine
// types one per line, '#' starting a comment. Lists that cannot be read are skipped; when none
// can, the check fails with SYSTEMS_LIST_UNREADABLE, and a machine type on no list is
// UNSUPPORTED_SYSTEM. The check asks the first of its connections only.
//
// Stateless apart from what it is constructed with, so it may serve any number of threads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tesmora/Diagnostics.h"
#include "tesmora/Export.h"
#include "tesmora/HostBackend.h"

namespace Tesmora {

class Inventory;

class TESMORA_API InventoryBackend : public HostBackend {
public:
    // diagnostics, when given, is told why each call that fails failed.
    explicit InventoryBackend(std::shared_ptr<const Inventory> inventory,
                              std::shared_ptr<DiagnosticSink> diagnostics = nullptr,
                              std::unique_ptr<LocalHost> local_host = MakeLocalHost());
    ~InventoryBackend() override;

    // Results of the remote calls that return a plain integer.
    enum : int {
        kUnreachable = 1,
        kAuthenticationFailed = 2,
        kNoSuchModule = 3,  // no module of the kind asked for in that bay
    };

    void OsInfoCreated(const OsInfoEndpoint&) override {}
    osinfo::OSINFORETURNCODE OsInfoGetVersion(const OsInfoEndpoint& endpoint,
                                              OSINFO& info) override;
    void OsInfoDestroyed(const OsInfoEndpoint&) override {}

    void AgentlessCreated(const ConnectionInfo&) override {}
    int AgentlessGetPLDMSoftwareIdentities(const ConnectionInfo& connection,
                                           std::vector<SoftwareIdentity>& identities) override;
    void AgentlessDestroyed(const ConnectionInfo&) override {}

    void CMMInventoryCreated(const ChassisEndpoint&) override {}
    bool CMMInventoryIsCMM(const ChassisEndpoint& endpoint) override;
    int CMMInventoryGetChassisInfo(const ChassisEndpoint& endpoint, ChassisInfo& info) override;
    int CMMInventoryGetCMMData(const ChassisEndpoint& endpoint, CMMDataList& list) override;
    int CMMInventoryGetSwitchType(const ChassisEndpoint& endpoint, int bay) override;
    int CMMInventoryGetModuleBays(const ChassisEndpoint& endpoint,
                                  std::vector<std::pair<int, int>>& bays) override;
    int CMMInventoryGetIOModuleDataByBayID(const ChassisEndpoint& endpoint, int bay,
                                           CIMIODataList& list) override;
    int CMMInventoryGetPassThruData(const ChassisEndpoint& endpoint, int bay,
                                    CIMIODataList& list) override;
    void CMMInventoryDestroyed(const ChassisEndpoint&) override {}

    void SMMInventoryCreated(const ConnectionInfo&) override {}
    SMMInventoryErrorCode SMMInventoryGetSmmMT(const ConnectionInfo& connection,
                                               std::string& machine_type) override;
    SMMInventoryErrorCode SMMInventoryGetSmmSN(const ConnectionInfo& connection,
                                               std::string& serial_number) override;
    SMMInventoryErrorCode SMMInventoryGetSmmFirmware(const ConnectionInfo& connection,
                                                     SMMFirmware& firmware) override;
    SMMInventoryErrorCode SMMInventoryGetPSUFirmware(
        const ConnectionInfo& connection, std::vector<PSUFwInfo>& power_supplies) override;
    void SMMInventoryDestroyed(const ConnectionInfo&) override {}

    void SystemCheckCreated(const SystemCheckTargets&) override {}
    SystemCheck::ErrorCode SystemCheckGetMachineType(
        const SystemCheckTargets& targets,
        std::pair<std::string, std::string>& machine_type) override;
    void SystemCheckDestroyed(const SystemCheckTargets&) override {}

private:
    std::shared_ptr<const Inventory> inventory_;
    std::shared_ptr<DiagnosticSink> diagnostics_;
};

}  // namespace Tesmora
