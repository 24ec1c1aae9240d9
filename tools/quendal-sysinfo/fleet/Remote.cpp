#include "Remote.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "FleetSystem.h"
#include "Password.h"
#include "tesmora/HostAddress.h"
#include "tesmora/InventoryBackend.h"

namespace Quendal::Tool {

Tesmora::NetworkOptions NetworkOptionsOf(const RemoteSettings& settings,
                                         std::shared_ptr<Tesmora::DiagnosticSink> diagnostics) {
    Tesmora::NetworkOptions network;
    network.verify_peer = !settings.insecure;
    network.ca_file = settings.ca_file;
    network.pins = settings.pins;
    network.timeout = settings.timeout;
    network.retries = settings.retries;
    network.partial = settings.partial;
    network.connections = settings.connections;
    network.diagnostics = std::move(diagnostics);
    network.cancelled = [] { return StopRequested(); };
    return network;
}

Remote UseRemote(const RemoteSettings& settings) {
    Remote remote;
    remote.diagnostics = std::make_shared<Tesmora::DiagnosticLog>();
    if (!settings.inventory.empty()) {
        remote.inventory = Tesmora::Inventory::Load(settings.inventory);
        Tesmora::SetBackend(
            std::make_shared<Tesmora::InventoryBackend>(remote.inventory, remote.diagnostics));
        return remote;
    }
    remote.network =
        std::make_shared<Tesmora::NetworkBackend>(NetworkOptionsOf(settings, remote.diagnostics));
    Tesmora::SetBackend(remote.network);
    return remote;
}

void ResolveAddress(const std::string& text, bool port_given, Connection& connection) {
    std::string why;
    const auto address = Tesmora::ParseHostAddress(text, &why);
    if (!address) {
        throw UsageError("--host: " + why);
    }
    if (address->port && port_given && *address->port != connection.port) {
        throw UsageError("--host names port " + std::to_string(*address->port) +
                         " and --port names " + std::to_string(connection.port));
    }
    connection.host = address->host;
    if (address->port) {
        connection.port = *address->port;
    }
}

void CheckCaFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::string text(kMaxCaFileBytes, '\0');
    stream.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(stream.gcount(), 0)));
    if (text.find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
        throw UsageError("--ca-file " + path +
                         ": not a PEM certificate file (no \"-----BEGIN "
                         "CERTIFICATE-----\" line)");
    }
}

void CheckBay(const std::string& bay) {
    const bool digits =
        !bay.empty() && bay.size() <= 3 &&
        std::all_of(bay.begin(), bay.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    if (!digits || std::stoi(bay) < 1 || std::stoi(bay) > kMaxBay) {
        throw UsageError("--bay: '" + bay + "' is not a bay number from 1 to " +
                         std::to_string(kMaxBay));
    }
}

}  // namespace Quendal::Tool
