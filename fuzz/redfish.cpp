// The Redfish client and the mapping of its resources against any answers: the client is run
// through a transport that answers each request with the next status and body the fuzzer gives,
// walking the service as a scan does (root, systems, chassis, managers, firmware inventory,
// power supplies), and every mapping function reads what comes back. The client promises
// Error and nothing else; the mapping functions promise nothing at all.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Input.h"
#include "redfish/Client.h"
#include "redfish/Mapping.h"

namespace {

using Quendal::Fuzz::Input;
namespace Redfish = Tesmora::Redfish;
namespace Net = Tesmora::Net;

class ScriptedTransport : public Net::Transport {
public:
    explicit ScriptedTransport(Input* input) : input_(input) {}

    Net::HttpResponse Send(const Net::HttpRequest& request) override {
        if (request.method == "POST") {
            return Net::HttpResponse{201,
                                     {{"X-Auth-Token", "fuzz-token"},
                                      {"Location", "/redfish/v1/SessionService/Sessions/1"}},
                                     "{}"};
        }
        if (request.method != "GET") {
            return Net::HttpResponse{204, {}, std::string()};
        }
        // Mostly answers, now and then a failure of each kind the client tells apart.
        static constexpr int kStatus[] = {200, 200, 200, 200, 200, 404, 503, 401};
        const int status = kStatus[input_->Byte() % 8];
        return Net::HttpResponse{status, {{"Content-Type", "application/json"}}, input_->Text()};
    }

private:
    Input* input_;
};

void Map(const Redfish::Json& resource) {
    Redfish::SoftwareIdentityFrom(resource);
    Redfish::MachineTypeFrom(resource);
    Redfish::ChassisInfoFrom(resource);
    Redfish::IsStandby(resource);
    Redfish::IsEnclosureManager(resource);
    Redfish::CMMDataFrom(resource);
    Redfish::SMMFirmwareFrom(resource);
    Redfish::PowerSupplyFrom(resource, 0);
    Redfish::IsIOModule(resource);
    Redfish::BayOf(resource);
    Redfish::SwitchTypeOf(resource);
    Redfish::RelatesTo(resource, {"/redfish/v1/Chassis/1"});
    Redfish::IOModuleDataFrom(resource, {Redfish::IOModuleFirmwareFrom(resource)});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    Redfish::Policy policy;
    policy.retries = 0;
    policy.max_pages = 8;
    policy.sleep = [](std::chrono::milliseconds) {};
    Redfish::Client client(
        "fuzz.example:443", {"user", "password"}, std::make_unique<ScriptedTransport>(&input),
        policy, [](Tesmora::Severity, Tesmora::Cause, const std::string&, const std::string&) {});
    try {
        const Redfish::Json& root = client.Root();
        Map(root);
        for (const char* collection : {"Systems", "Chassis", "Managers", "UpdateService"}) {
            const std::string link = Redfish::Link(root, {collection});
            if (link.empty()) {
                continue;
            }
            const Redfish::Json& resource = client.Get(link);
            Map(resource);
            std::vector<const Redfish::Json*> members = client.Members(link);
            for (const char* inner : {"FirmwareInventory", "PowerSupplies", "Managers"}) {
                if (const std::string more = Redfish::Link(resource, {inner}); !more.empty()) {
                    const auto found = client.Members(more);
                    members.insert(members.end(), found.begin(), found.end());
                }
            }
            for (const Redfish::Json* member : members) {
                Map(*member);
            }
            Redfish::SelectEnclosure(members);
        }
    } catch (const Redfish::Error&) {
    }
    client.Close();
    return 0;
}
