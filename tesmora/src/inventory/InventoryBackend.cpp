#include "tesmora/InventoryBackend.h"

#include "SystemsLists.h"
#include "tesmora/Inventory.h"

namespace Tesmora {

namespace {

enum class Outcome { kUnreachable, kRefused, kFailure, kAnswer };

// What the inventory makes of one call before anything is answered.
struct Verdict {
    Outcome outcome = Outcome::kUnreachable;
    int failure_code = 0;
    const InventoryEndpoint* endpoint = nullptr;  // set for kAnswer
};

const char* KindName(EndpointKind kind) {
    switch (kind) {
        case EndpointKind::kCMM:
            return "a chassis (cmm)";
        case EndpointKind::kSMM:
            return "an enclosure (smm)";
        case EndpointKind::kBMC:
            return "a server (bmc)";
        case EndpointKind::kESXi:
            return "a hypervisor host (esxi)";
    }
    return "an endpoint";
}

void Tell(DiagnosticSink* diagnostics, const std::string& host, std::string message,
          std::string hint = std::string()) {
    if (diagnostics != nullptr) {
        diagnostics->Report(Diagnostic{Severity::kError, Cause::kUnreachable, host,
                                       std::move(message), std::move(hint), std::string()});
    }
}

Verdict Judge(const Inventory* inventory, DiagnosticSink* diagnostics, const std::string& host,
              const std::string& user, const std::string& password, EndpointKind kind,
              const char* call) {
    Verdict verdict;
    const InventoryEndpoint* endpoint = inventory ? inventory->Find(host) : nullptr;
    if (endpoint == nullptr) {
        Tell(diagnostics, host, "the inventory lists no such endpoint");
        return verdict;
    }
    if (endpoint->kind != kind) {
        Tell(diagnostics, host,
             std::string("the inventory lists it as ") + KindName(endpoint->kind) + ", not as " +
                 KindName(kind));
        return verdict;
    }
    if (!endpoint->Admits(user, password)) {
        verdict.outcome = Outcome::kRefused;
        if (diagnostics != nullptr) {
            diagnostics->Report(Diagnostic{Severity::kError, Cause::kAuthentication, host,
                                           "refused the user name or password (the inventory's "
                                           "credentials)",
                                           "check --user and the password", std::string()});
        }
        return verdict;
    }
    if (const std::optional<int> code = endpoint->FailureOf(call)) {
        verdict.outcome = Outcome::kFailure;
        verdict.failure_code = *code;
        if (diagnostics != nullptr) {
            diagnostics->Report(Diagnostic{
                Severity::kError, Cause::kServiceError, host,
                std::string("the inventory has ") + call + " fail with " + std::to_string(*code),
                std::string(), std::string()});
        }
        return verdict;
    }
    verdict.outcome = Outcome::kAnswer;
    verdict.endpoint = endpoint;
    return verdict;
}

Verdict Judge(const Inventory* inventory, DiagnosticSink* diagnostics,
              const ChassisEndpoint& endpoint, const char* call) {
    return Judge(inventory, diagnostics, endpoint.host, endpoint.user, endpoint.password,
                 EndpointKind::kCMM, call);
}

Verdict Judge(const Inventory* inventory, DiagnosticSink* diagnostics,
              const TesmoraConnection::ConnectionInfo& connection, EndpointKind kind,
              const char* call) {
    return Judge(inventory, diagnostics, connection.host, connection.user, connection.password,
                 kind, call);
}

// Scripted failure codes of the enumerated libraries were checked against the enumeration when
// the inventory was read, so the cast yields an enumerator.
template <typename Result, typename Answer>
Result Serve(const Verdict& verdict, Result unreachable, Result refused, Answer answer) {
    switch (verdict.outcome) {
        case Outcome::kUnreachable:
            return unreachable;
        case Outcome::kRefused:
            return refused;
        case Outcome::kFailure:
            return static_cast<Result>(verdict.failure_code);
        case Outcome::kAnswer:
            break;
    }
    return answer(*verdict.endpoint);
}

void AppendModules(const ChassisBay& bay, CIMIODataList& list) {
    for (const CIMIOData& module : bay.modules) {
        list.Add(module);
    }
}

// Answers a data call for one bay: only a bay holding the kind of module asked for has data.
int ServeBay(const Verdict& verdict, int bay_number, int switch_type, CIMIODataList& list) {
    return Serve(verdict, int{InventoryBackend::kUnreachable},
                 int{InventoryBackend::kAuthenticationFailed},
                 [&](const InventoryEndpoint& chassis) {
                     const auto bay = chassis.bays.find(bay_number);
                     if (bay == chassis.bays.end() || bay->second.switch_type != switch_type) {
                         return int{InventoryBackend::kNoSuchModule};
                     }
                     AppendModules(bay->second, list);
                     return 0;
                 });
}

}  // namespace

InventoryBackend::InventoryBackend(std::shared_ptr<const Inventory> inventory,
                                   std::shared_ptr<DiagnosticSink> diagnostics,
                                   std::unique_ptr<LocalHost> local_host)
    : HostBackend(std::move(local_host)),
      inventory_(std::move(inventory)),
      diagnostics_(std::move(diagnostics)) {}

InventoryBackend::~InventoryBackend() = default;

osinfo::OSINFORETURNCODE InventoryBackend::OsInfoGetVersion(const OsInfoEndpoint& endpoint,
                                                            OSINFO& info) {
    const Verdict verdict =
        Judge(inventory_.get(), diagnostics_.get(), endpoint.host, endpoint.user, endpoint.password,
              EndpointKind::kESXi, "osinfoGetVersion");
    return Serve(verdict, osinfo::OSINFO_CONNECTION_FAILED, osinfo::OSINFO_AUTHENTICATION_FAILED,
                 [&](const InventoryEndpoint& host) {
                     info = host.os;
                     return osinfo::OSINFO_SUCCESS;
                 });
}

int InventoryBackend::AgentlessGetPLDMSoftwareIdentities(
    const ConnectionInfo& connection, std::vector<SoftwareIdentity>& identities) {
    const Verdict verdict = Judge(inventory_.get(), diagnostics_.get(), connection,
                                  EndpointKind::kBMC, "GetPLDMSoftwareIdentities");
    return Serve(
        verdict, int{kUnreachable}, int{kAuthenticationFailed}, [&](const InventoryEndpoint& bmc) {
            identities.insert(identities.end(), bmc.identities.begin(), bmc.identities.end());
            return 0;
        });
}

bool InventoryBackend::CMMInventoryIsCMM(const ChassisEndpoint& endpoint) {
    return Judge(inventory_.get(), diagnostics_.get(), endpoint, "IsCMM").outcome ==
           Outcome::kAnswer;
}

int InventoryBackend::CMMInventoryGetChassisInfo(const ChassisEndpoint& endpoint,
                                                 ChassisInfo& info) {
    return Serve(Judge(inventory_.get(), diagnostics_.get(), endpoint, "GetChassisInfo"),
                 int{kUnreachable}, int{kAuthenticationFailed},
                 [&](const InventoryEndpoint& chassis) {
                     info = chassis.chassis;
                     return 0;
                 });
}

int InventoryBackend::CMMInventoryGetCMMData(const ChassisEndpoint& endpoint, CMMDataList& list) {
    return Serve(Judge(inventory_.get(), diagnostics_.get(), endpoint, "GetCMMData"),
                 int{kUnreachable}, int{kAuthenticationFailed},
                 [&](const InventoryEndpoint& chassis) {
                     for (const CMMData& cmm : chassis.cmms) {
                         list.Add(cmm);
                     }
                     return 0;
                 });
}

// The library reports the kind of the module in a bay, 0 when it cannot tell.
int InventoryBackend::CMMInventoryGetSwitchType(const ChassisEndpoint& endpoint, int bay) {
    return Serve(Judge(inventory_.get(), diagnostics_.get(), endpoint, "GetSwitchType"), 0, 0,
                 [&](const InventoryEndpoint& chassis) {
                     const auto found = chassis.bays.find(bay);
                     return found == chassis.bays.end() ? 0 : found->second.switch_type;
                 });
}

int InventoryBackend::CMMInventoryGetModuleBays(const ChassisEndpoint& endpoint,
                                                std::vector<std::pair<int, int>>& bays) {
    return Serve(Judge(inventory_.get(), diagnostics_.get(), endpoint, "GetModuleBays"),
                 int{kUnreachable}, int{kAuthenticationFailed},
                 [&](const InventoryEndpoint& chassis) {
                     for (const auto& [number, bay] : chassis.bays) {
                         if (bay.switch_type != 0) {
                             bays.emplace_back(number, bay.switch_type);
                         }
                     }
                     return 0;
                 });
}

int InventoryBackend::CMMInventoryGetIOModuleDataByBayID(const ChassisEndpoint& endpoint, int bay,
                                                         CIMIODataList& list) {
    return ServeBay(Judge(inventory_.get(), diagnostics_.get(), endpoint, "GetIOModuleDataByBayID"),
                    bay, CMMInventory::kIOModuleSwitch, list);
}

int InventoryBackend::CMMInventoryGetPassThruData(const ChassisEndpoint& endpoint, int bay,
                                                  CIMIODataList& list) {
    return ServeBay(Judge(inventory_.get(), diagnostics_.get(), endpoint, "GetPassThruData"), bay,
                    CMMInventory::kPassThroughModule, list);
}

SMMInventoryErrorCode InventoryBackend::SMMInventoryGetSmmMT(const ConnectionInfo& connection,
                                                             std::string& machine_type) {
    return Serve(
        Judge(inventory_.get(), diagnostics_.get(), connection, EndpointKind::kSMM, "GetSmmMT"),
        SMM_CONNECTION_FAILED, SMM_AUTHENTICATION_FAILED, [&](const InventoryEndpoint& enclosure) {
            machine_type = enclosure.machine_type;
            return SMM_SUCCESS;
        });
}

SMMInventoryErrorCode InventoryBackend::SMMInventoryGetSmmSN(const ConnectionInfo& connection,
                                                             std::string& serial_number) {
    return Serve(
        Judge(inventory_.get(), diagnostics_.get(), connection, EndpointKind::kSMM, "GetSmmSN"),
        SMM_CONNECTION_FAILED, SMM_AUTHENTICATION_FAILED, [&](const InventoryEndpoint& enclosure) {
            serial_number = enclosure.serial_number;
            return SMM_SUCCESS;
        });
}

SMMInventoryErrorCode InventoryBackend::SMMInventoryGetSmmFirmware(const ConnectionInfo& connection,
                                                                   SMMFirmware& firmware) {
    return Serve(Judge(inventory_.get(), diagnostics_.get(), connection, EndpointKind::kSMM,
                       "GetSmmFirmware"),
                 SMM_CONNECTION_FAILED, SMM_AUTHENTICATION_FAILED,
                 [&](const InventoryEndpoint& enclosure) {
                     firmware = enclosure.smm_firmware;
                     return SMM_SUCCESS;
                 });
}

SMMInventoryErrorCode InventoryBackend::SMMInventoryGetPSUFirmware(
    const ConnectionInfo& connection, std::vector<PSUFwInfo>& power_supplies) {
    return Serve(Judge(inventory_.get(), diagnostics_.get(), connection, EndpointKind::kSMM,
                       "GetPSUFirmware"),
                 SMM_CONNECTION_FAILED, SMM_AUTHENTICATION_FAILED,
                 [&](const InventoryEndpoint& enclosure) {
                     power_supplies.insert(power_supplies.end(), enclosure.power_supplies.begin(),
                                           enclosure.power_supplies.end());
                     return SMM_SUCCESS;
                 });
}

// The library has no result of its own for a refused log-in; it cannot connect either way.
SystemCheck::ErrorCode InventoryBackend::SystemCheckGetMachineType(
    const SystemCheckTargets& targets, std::pair<std::string, std::string>& machine_type) {
    if (targets.connections.empty()) {
        return SystemCheck::CONNECTION_FAILED;
    }
    const Verdict verdict = Judge(inventory_.get(), diagnostics_.get(), targets.connections.front(),
                                  EndpointKind::kBMC, "GetMachineType");
    return Serve(
        verdict, SystemCheck::CONNECTION_FAILED, SystemCheck::CONNECTION_FAILED,
        [&](const InventoryEndpoint& server) {
            bool any_readable = false;
            const bool listed = Listed(targets.systems_lists, server.machine_type, any_readable);
            if (!any_readable) {
                // A broken install: say where it was looked, as the network does.
                if (diagnostics_ != nullptr) {
                    diagnostics_->Report(Diagnostic{
                        Severity::kError, Cause::kSystemsList, targets.connections.front().host,
                        "none of the systems lists could be read (looked for " +
                            WhereListsAreLooked(targets.systems_lists) + ")",
                        "reinstall the tool, whose package holds them", std::string()});
                }
                return SystemCheck::SYSTEMS_LIST_UNREADABLE;
            }
            if (!listed) {
                return SystemCheck::UNSUPPORTED_SYSTEM;
            }
            machine_type = {server.machine_type, server.serial_number};
            return SystemCheck::SUCCESS;
        });
}

}  // namespace Tesmora
