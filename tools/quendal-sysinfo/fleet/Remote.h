// How the tool reaches remote targets: the backend that answers the in-house libraries for the
// rest of the run, and the checks of what the command line says about an endpoint.
//
// UseRemote installs the backend process-wide (Tesmora::SetBackend); the returned Remote keeps
// what the tool reads afterwards. Bad input throws UsageError (Password.h) or
// Tesmora::InventoryError; nothing else is thrown but std::bad_alloc.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "Targets.h"
#include "tesmora/Diagnostics.h"
#include "tesmora/Inventory.h"
#include "tesmora/NetworkBackend.h"

namespace Quendal::Tool {

struct RemoteSettings {
    std::string inventory;  // a file: answer from it instead of the network
    std::string ca_file;
    bool insecure = false;
    std::vector<std::string> pins;  // --pin, each in its one form (Tesmora::CanonicalPin)
    std::chrono::seconds timeout{30};
    unsigned int retries = 2;
    bool partial = false;          // write what could be read (NetworkOptions.partial)
    unsigned int connections = 4;  // to one endpoint at once (NetworkOptions.connections)
};

struct Remote {
    std::shared_ptr<const Tesmora::Inventory> inventory;  // with an inventory file
    std::shared_ptr<Tesmora::NetworkBackend> network;     // otherwise
    std::shared_ptr<Tesmora::DiagnosticLog> diagnostics;  // why remote calls failed
};

// The network backend's options for the settings, reporting to diagnostics. Its calls fail at
// once ("cancelled") after the user asked the run to stop (StopRequests, FleetSystem.h): a fleet
// and a single-target scan stop alike.
Tesmora::NetworkOptions NetworkOptionsOf(const RemoteSettings& settings,
                                         std::shared_ptr<Tesmora::DiagnosticSink> diagnostics);

Remote UseRemote(const RemoteSettings& settings);

// Fills the connection's host and port from --host (NAME, IPv4 or [IPv6], each with an
// optional :PORT); a port named there and one given with --port must agree.
void ResolveAddress(const std::string& address, bool port_given, Connection& connection);

// --ca-file: a file holding at least one PEM certificate ("-----BEGIN CERTIFICATE-----" within
// its first kMaxCaFileBytes), else UsageError, so that a DER file or a key is told before any
// endpoint is asked rather than as an untrusted certificate after connecting.
inline constexpr std::size_t kMaxCaFileBytes = 16 * 1024 * 1024;
void CheckCaFile(const std::string& path);

// A bay number as the chassis numbers its bays: decimal digits only, 1 to kMaxBay.
inline constexpr int kMaxBay = 255;
void CheckBay(const std::string& bay);

}  // namespace Quendal::Tool
