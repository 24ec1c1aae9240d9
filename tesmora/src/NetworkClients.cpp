// The network backend's endpoints: their clients, made at first use and closed at the end of a
// scan or of the run, their time allowances and their reports. The library calls themselves are
// in NetworkBackend.cpp.
#include <algorithm>
#include <cctype>
#include <iterator>
#include <tuple>

#include "cim/Client.h"
#include "redfish/Client.h"
#include "tesmora/HostAddress.h"
#include "tesmora/NetworkBackend.h"

namespace Tesmora {

using Redfish::Error;

std::uint16_t NetworkBackend::PortOr443(std::uint16_t port) {
    constexpr std::uint16_t kHttpsPort = 443;
    return port == 0 ? kHttpsPort : port;
}

bool NetworkBackend::Key::operator<(const Key& other) const {
    return std::tie(host, port, user, password) <
           std::tie(other.host, other.port, other.user, other.password);
}

NetworkBackend::NetworkBackend(NetworkOptions options, std::unique_ptr<LocalHost> local_host)
    : HostBackend(std::move(local_host)), options_(std::move(options)) {}

NetworkBackend::~NetworkBackend() {
    Close();
}

void NetworkBackend::Close() {
    std::map<Key, std::shared_ptr<Redfish::Client>> clients;
    std::map<Key, std::shared_ptr<Cim::Client>> cim_clients;  // no sessions: forgetting is all
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clients.swap(clients_);
        cim_clients.swap(cim_clients_);
        deadlines_.clear();
    }
    for (auto& [key, client] : clients) {
        std::lock_guard<std::mutex> lock(client->Mutex());
        client->Close();
    }
}

void NetworkBackend::Close(const std::string& host, std::uint16_t port) {
    port = PortOr443(port);
    std::vector<std::shared_ptr<Redfish::Client>> closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto at = clients_.begin(); at != clients_.end();) {
            if (at->first.host == host && at->first.port == port) {
                closing.push_back(at->second);
                at = clients_.erase(at);
            } else {
                ++at;
            }
        }
        for (auto at = cim_clients_.begin(); at != cim_clients_.end();) {
            at = at->first.host == host && at->first.port == port ? cim_clients_.erase(at)
                                                                  : std::next(at);
        }
        deadlines_.erase({host, port});
    }
    // Outside the backend's lock: a log-out takes a request's time, and other endpoints go on.
    for (const auto& client : closing) {
        std::lock_guard<std::mutex> lock(client->Mutex());
        client->Close();
    }
}

std::optional<std::chrono::steady_clock::time_point> NetworkBackend::DeadlineOf(
    const std::string& host, std::uint16_t port) {
    if (options_.endpoint_timeout <= std::chrono::milliseconds(0)) {
        return std::nullopt;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return deadlines_
        .emplace(std::make_pair(host, port),
                 std::chrono::steady_clock::now() + options_.endpoint_timeout)
        .first->second;
}

void NetworkBackend::CheckBounds(const std::string& host, std::uint16_t port) {
    if (options_.cancelled && options_.cancelled()) {
        throw Error(Cause::kTimeout, "cancelled before the call was made");
    }
    const auto deadline = DeadlineOf(host, port);
    if (deadline && std::chrono::steady_clock::now() >= *deadline) {
        throw Error(Cause::kTimeout, "the time allowed for this endpoint ran out",
                    "raise --endpoint-timeout for a slow service");
    }
}

void NetworkBackend::Report(Severity severity, Cause cause, const std::string& host,
                            std::uint16_t port, const std::string& message, const std::string& hint,
                            const std::string& missing) {
    if (options_.diagnostics) {
        options_.diagnostics->Report(
            Diagnostic{severity, cause, Net::Authority(host, port), message, hint, missing});
    }
}

namespace {

const std::vector<std::string>& PinsFor(const NetworkOptions& options, std::string host,
                                        std::uint16_t port) {
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto own = options.endpoint_pins.find({host, port});
    return own != options.endpoint_pins.end() ? own->second : options.pins;
}

Net::TransportOptions TransportFor(const NetworkOptions& options, const std::string& host,
                                   std::uint16_t port) {
    std::string why;
    if (!IsHostText(host, &why)) {
        throw Error(Cause::kUnreachable, why, "check --host");
    }
    Net::TransportOptions transport;
    transport.host = host;
    transport.port = port;
    transport.verify_peer = options.verify_peer;
    transport.ca_file = options.ca_file;
    transport.pins = PinsFor(options, host, port);
    // A request under way cannot be cut short, so none may outlast the endpoint's allowance.
    std::chrono::milliseconds timeout = options.timeout;
    if (options.endpoint_timeout > std::chrono::milliseconds(0)) {
        timeout = std::min(timeout, options.endpoint_timeout);
    }
    transport.connect_timeout = timeout;
    transport.request_timeout = timeout;
    transport.max_body_bytes = options.max_body_bytes;
    return transport;
}

}  // namespace

template <>
std::shared_ptr<Redfish::Client> NetworkBackend::ClientFor<Redfish::Client>(
    const std::string& host, std::uint16_t port, const std::string& user,
    const std::string& password) {
    const Net::TransportOptions transport = TransportFor(options_, host, port);
    const auto deadline = DeadlineOf(host, port);
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Redfish::Client>& client = clients_[Key{host, port, user, password}];
    if (!client) {
        Redfish::Policy policy;
        policy.retries = options_.retries;
        policy.timeout = options_.timeout;
        policy.deadline = deadline;
        policy.cancelled = options_.cancelled;
        policy.partial = options_.partial;
        policy.connections = options_.connections;
        policy.connect = [transport] { return Net::MakeTransport(transport); };
        auto reporter = [this, host, port](Severity severity, Cause cause,
                                           const std::string& message, const std::string& missing) {
            Report(severity, cause, host, port, message, std::string(), missing);
        };
        client = std::make_shared<Redfish::Client>(Net::Authority(host, port),
                                                   Redfish::Credentials{user, password},
                                                   Net::MakeTransport(transport), policy, reporter);
    }
    return client;
}

template <>
std::shared_ptr<Cim::Client> NetworkBackend::ClientFor<Cim::Client>(const std::string& host,
                                                                    std::uint16_t port,
                                                                    const std::string& user,
                                                                    const std::string& password) {
    const Net::TransportOptions transport = TransportFor(options_, host, port);
    const auto deadline = DeadlineOf(host, port);
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Cim::Client>& client = cim_clients_[Key{host, port, user, password}];
    if (!client) {
        Cim::Policy policy;
        policy.retries = options_.retries;
        policy.timeout = options_.timeout;
        policy.bounds.deadline = deadline;
        policy.bounds.cancelled = options_.cancelled;
        client = std::make_shared<Cim::Client>(Net::Authority(host, port),
                                               Cim::Credentials{user, password},
                                               Net::MakeTransport(transport), policy);
    }
    return client;
}

}  // namespace Tesmora
