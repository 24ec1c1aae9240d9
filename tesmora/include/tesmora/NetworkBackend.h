// The backend that asks the remote endpoints themselves: BMCs, enclosure managers (SMM) and
// chassis management modules (CMM) over the DMTF Redfish REST API, on HTTPS, and hypervisor
// hosts over CIM (CIM-XML on HTTPS, port 5989 by default); the local host is read for real
// (HostBackend.h). docs/redfish.md and docs/cim.md say what answers each library call.
//
// Per endpoint (host, port, user and password) and protocol the backend keeps one client: one
// connection, kept alive; for Redfish one session, opened at the first call that needs it (HTTP
// Basic where the service offers no sessions), and every resource read, so that no resource is
// fetched twice. Close() logs out of every session and forgets the rest; Close(host, port) does
// the same for one endpoint only, so that an owner scanning many endpoints ends each session as
// soon as that endpoint is done; the destructor closes whatever Close did not. The owner decides
// what one scan is by when it calls Close.
//
// Bounds (NetworkOptions): an endpoint's calls together may take endpoint_timeout, counted from
// its first call until it is closed; a cancellation stops every endpoint. Either is checked
// before each request; past it, calls fail at once with Cause::kTimeout while log-outs are still
// sent. A request under way is not interrupted: the transport's time-out, the shorter of timeout
// and endpoint_timeout, bounds it.
//
// A call that fails answers with its library's failure code, as a real library would, and
// reports the cause to the options' DiagnosticSink. Once an endpoint failed for good (refused
// log-in, no connection, a time-out), later calls to it fail at once with the same cause
// instead of trying again. A call that could read only a part (one member of a collection
// unreadable) fails too, naming what it could not read, unless NetworkOptions.partial: then it
// succeeds with the rest and reports a warning for each part left out (Diagnostic.missing).
//
// Threads: calls for different endpoints run side by side; calls for one endpoint take turns.
// Nothing escapes a library call but std::bad_alloc.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tesmora/Diagnostics.h"
#include "tesmora/Export.h"
#include "tesmora/HostBackend.h"

namespace Tesmora {

struct NetworkOptions {
    bool verify_peer = true;  // false accepts any certificate: explicit opt-out only
    std::string ca_file;      // PEM certificates trusted besides the system's own
    // Keys accepted whoever signed the certificate and whatever names it holds, as
    // CanonicalPin writes them (PeerCertificate.h): an endpoint whose key is none of them is
    // refused before any credential is sent. With ca_file, a certificate its CAs vouch for is
    // accepted as well: either is enough.
    std::vector<std::string> pins;
    // The pins of single endpoints, by host (in lower case) and port, in place of pins.
    std::map<std::pair<std::string, std::uint16_t>, std::vector<std::string>> endpoint_pins;
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};  // connect, and each request
    // Further attempts after a lost connection, a failed handshake or HTTP 5xx/429.
    unsigned int retries = 2;
    std::size_t max_body_bytes = std::size_t{16} << 20;
    std::shared_ptr<DiagnosticSink> diagnostics;    // may be null: causes are then not told
    std::chrono::milliseconds endpoint_timeout{0};  // all the calls to one endpoint; 0: no limit
    // Once it answers true, calls fail at once ("cancelled"). Asked from every calling thread, so
    // it must be thread-safe; may be null.
    std::function<bool()> cancelled;
    // Whether a call answers with what it could read: a member or linked resource that cannot be
    // read, or a part the service does not offer (no UpdateService, no computer systems), is
    // then left out with a warning whose Diagnostic.missing names it, instead of failing the
    // call.
    bool partial = false;
    // Requests to one endpoint under way at once where members are read one by one (1 to 8),
    // each on a connection of its own sharing one session.
    unsigned int connections = 1;
};

namespace Redfish {
class Client;
}
namespace Cim {
class Client;
}

class TESMORA_API NetworkBackend : public HostBackend {
public:
    explicit NetworkBackend(NetworkOptions options = {},
                            std::unique_ptr<LocalHost> local_host = MakeLocalHost());
    ~NetworkBackend() override;

    // Logs out of every session opened so far and forgets every endpoint's resources.
    void Close();
    // The same for one endpoint: every client for host and port (the port the calls named, 443
    // where they named 0), whatever its user; other endpoints are left alone. A call for that
    // endpoint afterwards starts afresh, with a new time allowance.
    void Close(const std::string& host, std::uint16_t port);

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
    struct Key {
        std::string host;
        std::uint16_t port = 0;
        std::string user;
        std::string password;
        bool operator<(const Key& other) const;
    };

    // Port 0 stands for HTTPS's own.
    static std::uint16_t PortOr443(std::uint16_t port);
    // The client of a protocol (Redfish::Client or Cim::Client) for one endpoint, made at first
    // use; it lives until Close.
    template <typename Client>
    std::shared_ptr<Client> ClientFor(const std::string& host, std::uint16_t port,
                                      const std::string& user, const std::string& password);
    // When the endpoint's time allowance ends (none without endpoint_timeout); its clock starts
    // at the first call.
    std::optional<std::chrono::steady_clock::time_point> DeadlineOf(const std::string& host,
                                                                    std::uint16_t port);
    // Throws the time-out Error once the run is cancelled or the endpoint's time is up.
    void CheckBounds(const std::string& host, std::uint16_t port);
    void Report(Severity severity, Cause cause, const std::string& host, std::uint16_t port,
                const std::string& message, const std::string& hint = std::string(),
                const std::string& missing = std::string());

    // The library's result for a failure of each cause.
    using CodeFor = int (*)(Cause);
    template <typename Result, typename Client = Redfish::Client, typename Body>
    Result Serve(const std::string& host, std::uint16_t port, const std::string& user,
                 const std::string& password, CodeFor code_for, Body body);
    int ServeBay(const ChassisEndpoint& endpoint, int bay, int switch_type, CIMIODataList& list);

    NetworkOptions options_;
    std::mutex mutex_;
    std::map<Key, std::shared_ptr<Redfish::Client>> clients_;
    std::map<Key, std::shared_ptr<Cim::Client>> cim_clients_;
    std::map<std::pair<std::string, std::uint16_t>, std::chrono::steady_clock::time_point>
        deadlines_;
};

}  // namespace Tesmora
