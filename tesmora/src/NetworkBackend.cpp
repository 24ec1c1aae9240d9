#include "tesmora/NetworkBackend.h"

#include <algorithm>
#include <set>

#include "SystemsLists.h"
#include "cim/Client.h"
#include "cim/OsInfo.h"
#include "redfish/Client.h"
#include "redfish/Mapping.h"

namespace Tesmora {

namespace {

using Redfish::Error;
using Redfish::Json;

constexpr std::uint16_t kCimHttpsPort = 5989;  // OsInfoGetVersion's port 0

// What the library calls say for a failure of each cause, one row per library.
struct FailureCodes {
    int connection;
    int authentication;
    int query;

    int For(Cause cause) const {
        switch (cause) {
            case Cause::kAuthentication:
                return authentication;
            case Cause::kNameNotResolved:
            case Cause::kUnreachable:
            case Cause::kCertificate:
            case Cause::kTls:
            case Cause::kTimeout:
            case Cause::kRedirect:
                return connection;
            default:
                return query;
        }
    }
};

constexpr FailureCodes kAgentlessCodes{Agentless::AgentlessSoftwareIdentity::kConnectionFailed,
                                       Agentless::AgentlessSoftwareIdentity::kAuthenticationFailed,
                                       Agentless::AgentlessSoftwareIdentity::kQueryFailed};
constexpr FailureCodes kChassisCodes{CMMInventory::kConnectionFailed,
                                     CMMInventory::kAuthenticationFailed,
                                     CMMInventory::kQueryFailed};
constexpr FailureCodes kSmmCodes{SMM_CONNECTION_FAILED, SMM_AUTHENTICATION_FAILED,
                                 SMM_NOT_AVAILABLE};
constexpr FailureCodes kSystemCheckCodes{
    SystemCheck::CONNECTION_FAILED, SystemCheck::AUTHENTICATION_FAILED, SystemCheck::QUERY_FAILED};
constexpr FailureCodes kOsInfoCodes{osinfo::OSINFO_CONNECTION_FAILED,
                                    osinfo::OSINFO_AUTHENTICATION_FAILED,
                                    osinfo::OSINFO_QUERY_FAILED};

int AgentlessCode(Cause cause) {
    return kAgentlessCodes.For(cause);
}
int ChassisCode(Cause cause) {
    return kChassisCodes.For(cause);
}
int SmmCode(Cause cause) {
    return kSmmCodes.For(cause);
}
int SystemCheckCode(Cause cause) {
    return kSystemCheckCodes.For(cause);
}
int OsInfoCode(Cause cause) {
    return kOsInfoCodes.For(cause);
}
// IsCMM false, GetSwitchType 0: the calls that answer "cannot tell" rather than a failure code.
int NoAnswer(Cause) {
    return 0;
}

// A part of the service the call needs and the service does not offer at all (no
// UpdateService, no computer systems). With NetworkOptions.partial the call answers without it
// (a warning names it as missing); otherwise it fails like any other Error.
class NotOffered : public Error {
public:
    NotOffered(std::string part, const std::string& message)
        : Error(Cause::kMissingResource, message), part_(std::move(part)) {}
    const std::string& part() const { return part_; }

private:
    std::string part_;
};

// The chassis collection's enclosure (see SelectEnclosure).
const Json& EnclosureOf(Redfish::Client& client) {
    const std::string collection = Redfish::Link(client.Root(), {"Chassis"});
    if (collection.empty()) {
        throw Error(Cause::kMissingResource, "the service lists no chassis");
    }
    const std::vector<const Json*> chassis = client.Members(collection);
    if (const Json* enclosure = Redfish::SelectEnclosure(chassis)) {
        return *enclosure;
    }
    if (chassis.size() == 1) {
        // A server's BMC: its chassis is no enclosure, whatever the subcommand hoped.
        throw Error(Cause::kWrongService,
                    "the endpoint is a server's management controller, not an enclosure's: its "
                    "only chassis, " +
                        Redfish::Text(*chassis.front(), {"@odata.id"}) + ", is a server's (" +
                        Redfish::ServersOwnChassis(*chassis.front()) + ")",
                    "scan it with the subcommand server");
    }
    throw Error(Cause::kMissingResource,
                chassis.empty() ? "the service lists no chassis"
                                : "none of the " + std::to_string(chassis.size()) +
                                      " chassis is an enclosure (ChassisType \"Enclosure\")");
}

// The managers the enclosure names, in order; one that cannot be read fails the call, or is
// left out under NetworkOptions.partial.
std::vector<const Json*> ManagersOf(Redfish::Client& client, const Json& enclosure) {
    const std::vector<std::string> links = Redfish::Links(enclosure, {"Links", "ManagedBy"});
    if (links.empty()) {
        throw Error(Cause::kMissingResource, "the enclosure names no manager (Links.ManagedBy)");
    }
    std::vector<const Json*> managers = client.Resources(links, "the enclosure's managers");
    if (managers.empty()) {
        throw Error(Cause::kMissingResource, "none of the enclosure's managers could be read");
    }
    return managers;
}

// The enclosure's managers that are enclosure managers (a blade's BMC may be named too).
std::vector<const Json*> EnclosureManagersOf(Redfish::Client& client, const Json& enclosure) {
    std::vector<const Json*> managers = ManagersOf(client, enclosure);
    managers.erase(
        std::remove_if(managers.begin(), managers.end(),
                       [](const Json* manager) { return !Redfish::IsEnclosureManager(*manager); }),
        managers.end());
    if (managers.empty()) {
        throw Error(Cause::kMissingResource,
                    "no manager of the enclosure is an enclosure manager (ManagerType "
                    "\"EnclosureManager\")");
    }
    return managers;
}

// The I/O module in a bay of the enclosure, or nullptr.
const Json* ModuleInBay(Redfish::Client& client, int bay) {
    for (const std::string& link : Redfish::Links(EnclosureOf(client), {"Links", "Contains"})) {
        const Json& chassis = client.Get(link);
        if (Redfish::IsIOModule(chassis) && Redfish::BayOf(chassis) == bay) {
            return &chassis;
        }
    }
    return nullptr;
}

// The firmware inventory collection, or an empty text where the service has none.
std::string FirmwareInventoryOf(Redfish::Client& client) {
    const std::string update = Redfish::Link(client.Root(), {"UpdateService"});
    return update.empty() ? std::string() : Redfish::NormalisePath(update) + "/FirmwareInventory";
}

}  // namespace

// Made with the clients (NetworkClients.cpp).
template <>
std::shared_ptr<Redfish::Client> NetworkBackend::ClientFor<Redfish::Client>(
    const std::string& host, std::uint16_t port, const std::string& user,
    const std::string& password);
template <>
std::shared_ptr<Cim::Client> NetworkBackend::ClientFor<Cim::Client>(const std::string& host,
                                                                    std::uint16_t port,
                                                                    const std::string& user,
                                                                    const std::string& password);

// Runs one library call against an endpoint: the body gets the endpoint's client, held for the
// call; a failure is reported and answered with the library's code for its cause.
template <typename Result, typename Client, typename Body>
Result NetworkBackend::Serve(const std::string& host, std::uint16_t port, const std::string& user,
                             const std::string& password, CodeFor code_for, Body body) {
    port = PortOr443(port);
    try {
        CheckBounds(host, port);
        const std::shared_ptr<Client> client = ClientFor<Client>(host, port, user, password);
        std::lock_guard<std::mutex> lock(client->Mutex());
        return body(*client);
    } catch (const NotOffered& error) {
        if (options_.partial) {
            Report(Severity::kWarning, error.cause(), host, port,
                   std::string(error.what()) + "; the document is written without it",
                   std::string(), error.part());
            return static_cast<Result>(0);
        }
        Report(Severity::kError, error.cause(), host, port, error.what(), error.hint());
        return static_cast<Result>(code_for(error.cause()));
    } catch (const Error& error) {
        Report(Severity::kError, error.cause(), host, port, error.what(), error.hint());
        return static_cast<Result>(code_for(error.cause()));
    } catch (const nlohmann::json::exception& error) {
        Report(Severity::kError, Cause::kBadAnswer, host, port,
               std::string("an answer has an unexpected shape (") + error.what() + ")");
        return static_cast<Result>(code_for(Cause::kBadAnswer));
    }
}

// Hypervisor hosts answer over CIM-XML: docs/cim.md.
osinfo::OSINFORETURNCODE NetworkBackend::OsInfoGetVersion(const OsInfoEndpoint& endpoint,
                                                          OSINFO& info) {
    const std::uint16_t port = endpoint.port == 0 ? kCimHttpsPort : endpoint.port;
    if (endpoint.connection_type != osinfo::CIM_HTTPS) {
        Report(Severity::kError, Cause::kTls, endpoint.host, port,
               "CIM over plain HTTP is refused: the password would cross the network unencrypted",
               "ask the host's CIM server over HTTPS");
        return osinfo::OSINFO_CONNECTION_FAILED;
    }
    return Serve<osinfo::OSINFORETURNCODE, Cim::Client>(endpoint.host, port, endpoint.user,
                                                        endpoint.password, OsInfoCode,
                                                        [&](Cim::Client& client) {
                                                            info = Cim::ReadOsInfo(client);
                                                            return osinfo::OSINFO_SUCCESS;
                                                        });
}

int NetworkBackend::AgentlessGetPLDMSoftwareIdentities(const ConnectionInfo& connection,
                                                       std::vector<SoftwareIdentity>& identities) {
    return Serve<int>(connection.host, connection.port, connection.user, connection.password,
                      AgentlessCode, [&](Redfish::Client& client) {
                          const std::string inventory = FirmwareInventoryOf(client);
                          if (inventory.empty()) {
                              throw NotOffered("the firmware inventory (no UpdateService)",
                                               "the service offers no firmware inventory "
                                               "(no UpdateService)");
                          }
                          std::vector<SoftwareIdentity> found;
                          for (const Json* software : client.Members(inventory)) {
                              found.push_back(Redfish::SoftwareIdentityFrom(*software));
                          }
                          identities.insert(identities.end(), found.begin(), found.end());
                          return 0;
                      });
}

bool NetworkBackend::CMMInventoryIsCMM(const ChassisEndpoint& endpoint) {
    const std::uint16_t port = PortOr443(endpoint.port);
    return Serve<bool>(endpoint.host, endpoint.port, endpoint.user, endpoint.password, NoAnswer,
                       [&](Redfish::Client& client) {
                           // One enclosure manager decides; a manager link that cannot be read only
                           // tells nothing (GetCMMData judges it again).
                           for (const std::string& link :
                                Redfish::Links(EnclosureOf(client), {"Links", "ManagedBy"})) {
                               try {
                                   if (Redfish::IsEnclosureManager(client.Get(link))) {
                                       return true;
                                   }
                               } catch (const Error& error) {
                                   if (Net::EndsClient(error.cause())) {
                                       throw;
                                   }
                                   Report(Severity::kWarning, error.cause(), endpoint.host, port,
                                          std::string(error.what()) +
                                              "; skipped while looking for an "
                                              "enclosure manager");
                               }
                           }
                           // The reason the scan fails: an error, so that it is told with -q too.
                           Report(
                               Severity::kError, Cause::kMissingResource, endpoint.host, port,
                               "no manager of the enclosure is an enclosure manager (ManagerType "
                               "\"EnclosureManager\")");
                           return false;
                       });
}

int NetworkBackend::CMMInventoryGetChassisInfo(const ChassisEndpoint& endpoint, ChassisInfo& info) {
    return Serve<int>(endpoint.host, endpoint.port, endpoint.user, endpoint.password, ChassisCode,
                      [&](Redfish::Client& client) {
                          info = Redfish::ChassisInfoFrom(EnclosureOf(client));
                          return 0;
                      });
}

int NetworkBackend::CMMInventoryGetCMMData(const ChassisEndpoint& endpoint, CMMDataList& list) {
    return Serve<int>(
        endpoint.host, endpoint.port, endpoint.user, endpoint.password, ChassisCode,
        [&](Redfish::Client& client) {
            for (const Json* manager : EnclosureManagersOf(client, EnclosureOf(client))) {
                list.Add(Redfish::CMMDataFrom(*manager));
            }
            return 0;
        });
}

// The library reports the kind of the module in a bay, 0 when it cannot tell.
int NetworkBackend::CMMInventoryGetSwitchType(const ChassisEndpoint& endpoint, int bay) {
    return Serve<int>(
        endpoint.host, endpoint.port, endpoint.user, endpoint.password, NoAnswer,
        [&](Redfish::Client& client) {
            if (const Json* module = ModuleInBay(client, bay)) {
                return Redfish::SwitchTypeOf(*module);
            }
            // The reason the scan fails: an error, so that it is told with -q too.
            Report(Severity::kError, Cause::kMissingResource, endpoint.host,
                   PortOr443(endpoint.port),
                   "the enclosure describes no I/O module in bay " + std::to_string(bay));
            return 0;
        });
}

int NetworkBackend::CMMInventoryGetModuleBays(const ChassisEndpoint& endpoint,
                                              std::vector<std::pair<int, int>>& bays) {
    return Serve<int>(endpoint.host, endpoint.port, endpoint.user, endpoint.password, ChassisCode,
                      [&](Redfish::Client& client) {
                          for (const std::string& link :
                               Redfish::Links(EnclosureOf(client), {"Links", "Contains"})) {
                              const Json& chassis = client.Get(link);
                              // A module that names no bay cannot be asked for by one.
                              const auto bay = Redfish::BayOf(chassis);
                              if (Redfish::IsIOModule(chassis) && bay) {
                                  bays.emplace_back(*bay, Redfish::SwitchTypeOf(chassis));
                              }
                          }
                          std::sort(bays.begin(), bays.end());
                          return 0;
                      });
}

int NetworkBackend::ServeBay(const ChassisEndpoint& endpoint, int bay, int switch_type,
                             CIMIODataList& list) {
    return Serve<int>(
        endpoint.host, endpoint.port, endpoint.user, endpoint.password, ChassisCode,
        [&](Redfish::Client& client) {
            const Json* module = ModuleInBay(client, bay);
            if (module == nullptr || Redfish::SwitchTypeOf(*module) != switch_type) {
                return int{CMMInventory::kNoSuchModule};
            }
            std::set<std::string> related{
                Redfish::NormalisePath(Redfish::Text(*module, {"@odata.id"}))};
            for (const std::string& link : Redfish::Links(*module, {"Links", "Switches"})) {
                related.insert(Redfish::NormalisePath(link));
            }
            std::vector<CIMIOFirmware> firmware;
            if (const std::string inventory = FirmwareInventoryOf(client); !inventory.empty()) {
                for (const Json* software : client.Members(inventory)) {
                    if (Redfish::RelatesTo(*software, related)) {
                        firmware.push_back(Redfish::IOModuleFirmwareFrom(*software));
                    }
                }
            }
            list.Add(Redfish::IOModuleDataFrom(*module, std::move(firmware)));
            return 0;
        });
}

int NetworkBackend::CMMInventoryGetIOModuleDataByBayID(const ChassisEndpoint& endpoint, int bay,
                                                       CIMIODataList& list) {
    return ServeBay(endpoint, bay, CMMInventory::kIOModuleSwitch, list);
}

int NetworkBackend::CMMInventoryGetPassThruData(const ChassisEndpoint& endpoint, int bay,
                                                CIMIODataList& list) {
    return ServeBay(endpoint, bay, CMMInventory::kPassThroughModule, list);
}

SMMInventoryErrorCode NetworkBackend::SMMInventoryGetSmmMT(const ConnectionInfo& connection,
                                                           std::string& machine_type) {
    return Serve<SMMInventoryErrorCode>(connection.host, connection.port, connection.user,
                                        connection.password, SmmCode, [&](Redfish::Client& client) {
                                            machine_type =
                                                Redfish::MachineTypeOf(EnclosureOf(client));
                                            return SMM_SUCCESS;
                                        });
}

SMMInventoryErrorCode NetworkBackend::SMMInventoryGetSmmSN(const ConnectionInfo& connection,
                                                           std::string& serial_number) {
    return Serve<SMMInventoryErrorCode>(connection.host, connection.port, connection.user,
                                        connection.password, SmmCode, [&](Redfish::Client& client) {
                                            serial_number = Redfish::Text(EnclosureOf(client),
                                                                          {"SerialNumber"});
                                            return SMM_SUCCESS;
                                        });
}

SMMInventoryErrorCode NetworkBackend::SMMInventoryGetSmmFirmware(const ConnectionInfo& connection,
                                                                 SMMFirmware& firmware) {
    return Serve<SMMInventoryErrorCode>(
        connection.host, connection.port, connection.user, connection.password, SmmCode,
        [&](Redfish::Client& client) {
            // An enclosure manager before any other (a blade's BMC may be named too).
            std::vector<const Json*> managers = ManagersOf(client, EnclosureOf(client));
            std::stable_partition(managers.begin(), managers.end(), [](const Json* manager) {
                return Redfish::IsEnclosureManager(*manager);
            });
            for (const Json* manager : managers) {
                if (!Redfish::IsStandby(*manager)) {
                    firmware = Redfish::SMMFirmwareFrom(*manager);
                    return SMM_SUCCESS;
                }
            }
            throw Error(Cause::kMissingResource, "every manager of the enclosure is in standby");
        });
}

SMMInventoryErrorCode NetworkBackend::SMMInventoryGetPSUFirmware(
    const ConnectionInfo& connection, std::vector<PSUFwInfo>& power_supplies) {
    return Serve<SMMInventoryErrorCode>(
        connection.host, connection.port, connection.user, connection.password, SmmCode,
        [&](Redfish::Client& client) {
            const Json& enclosure = EnclosureOf(client);
            std::vector<const Json*> supplies;
            if (const std::string subsystem = Redfish::Link(enclosure, {"PowerSubsystem"});
                !subsystem.empty()) {
                std::string collection = Redfish::Link(client.Get(subsystem), {"PowerSupplies"});
                const std::string usual =
                    Redfish::NormalisePath(Redfish::Text(enclosure, {"@odata.id"})) +
                    "/PowerSubsystem";
                if (collection.empty() && Redfish::NormalisePath(subsystem) != usual) {
                    // A link that leads astray (seen in published services): the URI the
                    // standard prescribes for a chassis's power subsystem is the next guess.
                    Report(Severity::kNote, Cause::kBadAnswer, connection.host,
                           PortOr443(connection.port),
                           "the PowerSubsystem link leads to " + subsystem +
                               ", which lists no power supplies; " + usual + " is read instead");
                    collection = Redfish::Link(client.Get(usual), {"PowerSupplies"});
                }
                if (!collection.empty()) {
                    supplies = client.Members(collection);
                }
            } else if (const std::string power = Redfish::Link(enclosure, {"Power"});
                       !power.empty()) {
                // The older Power resource holds its supplies inline.
                const Json& resource = client.Get(power);
                const auto list = resource.find("PowerSupplies");
                if (list != resource.end() && list->is_array()) {
                    for (const Json& supply : *list) {
                        supplies.push_back(&supply);
                    }
                }
            }
            std::vector<PSUFwInfo> found;
            for (std::size_t position = 0; position < supplies.size(); ++position) {
                if (auto psu = Redfish::PowerSupplyFrom(*supplies[position], position)) {
                    found.push_back(std::move(*psu));
                }
            }
            power_supplies.insert(power_supplies.end(), found.begin(), found.end());
            return SMM_SUCCESS;
        });
}

SystemCheck::ErrorCode NetworkBackend::SystemCheckGetMachineType(
    const SystemCheckTargets& targets, std::pair<std::string, std::string>& machine_type) {
    if (targets.connections.empty()) {
        return SystemCheck::CONNECTION_FAILED;
    }
    const ConnectionInfo& connection = targets.connections.front();
    return Serve<SystemCheck::ErrorCode>(
        connection.host, connection.port, connection.user, connection.password, SystemCheckCode,
        [&](Redfish::Client& client) {
            const std::string systems = Redfish::Link(client.Root(), {"Systems"});
            if (systems.empty()) {
                throw NotOffered("the machine type and serial number (no Systems)",
                                 "the service lists no computer systems");
            }
            const Json* system = client.FirstMember(systems);
            if (system == nullptr) {
                throw NotOffered("the machine type and serial number (no computer system)",
                                 systems + " holds no computer system");
            }
            machine_type = Redfish::MachineTypeFrom(*system);
            bool any_readable = false;
            const bool listed = Listed(targets.systems_lists, machine_type.first, any_readable);
            if (!any_readable) {
                Report(Severity::kError, Cause::kSystemsList, connection.host,
                       PortOr443(connection.port),
                       "none of the systems lists could be read (looked for " +
                           WhereListsAreLooked(targets.systems_lists) + ")",
                       "reinstall the tool, whose package holds them");
                return SystemCheck::SYSTEMS_LIST_UNREADABLE;
            }
            if (!listed) {
                Report(Severity::kNote, Cause::kSystemsList, connection.host,
                       PortOr443(connection.port),
                       "machine type " + machine_type.first +
                           " is on none of the systems lists; it is read as a generic Redfish "
                           "server");
            }
            return SystemCheck::SUCCESS;
        });
}

}  // namespace Tesmora
