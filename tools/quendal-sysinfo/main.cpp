// quendal-sysinfo: scans a target through the system-information module, builds its document
// and prints it, stores it, or compares two stored documents.
//
// Remote targets are asked over the network (Redfish on HTTPS), or answered from an inventory
// file with --inventory. Why a remote scan failed is printed after the module's status lines.
//
// Exit status: 0 done (documents equal, for diff); 1 documents differ; 2 bad command line,
// inventory, password or document file; 3 a scan failed (no document is written then).
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "Diff.h"
#include "Output.h"
#include "Password.h"
#include "Targets.h"
#include "tesmora/HostAddress.h"
#include "tesmora/Inventory.h"
#include "tesmora/InventoryBackend.h"
#include "tesmora/Log.h"
#include "tesmora/NetworkBackend.h"

namespace {

using namespace Quendal::Tool;

constexpr int kDone = 0;
constexpr int kDifferent = 1;
constexpr int kUsage = 2;
constexpr int kScanFailed = 3;

struct Options {
    std::string inventory;
    std::string ca_file;
    bool insecure = false;
    unsigned int timeout_seconds = 30;
    unsigned int retries = 2;
    unsigned int log_level = 1;
    Format format = Format::kListing;
    std::string output;
    std::string bmc_type;
    bool bmc_type_given = false;
};

// A remote target as the command line describes it.
struct RemoteTarget {
    Connection connection;
    std::string address;  // --host as given: the host, then perhaps ":PORT"
    std::string password_file;
    std::string password_env = "QUENDAL_PASSWORD";
    std::string bay;
};

void AddConnectionOptions(CLI::App& command, RemoteTarget& target, std::uint16_t port,
                          std::uint32_t type) {
    target.connection.port = port;
    target.connection.type = type;
    command
        .add_option("--host", target.address,
                    "The endpoint: NAME, IPV4 or [IPV6], each optionally followed by :PORT")
        ->required();
    command
        .add_option("--port", target.connection.port,
                    "Port of the endpoint, unless --host names one")
        ->check(CLI::Range(1, 65535))
        ->capture_default_str();
    command
        .add_option("--user", target.connection.user,
                    "User name on the endpoint (default: the environment variable QUENDAL_USER)")
        ->envname("QUENDAL_USER")
        ->required();
    command
        .add_option("--type", target.connection.type,
                    "Endpoint type of the connection layer (4 CMM, 7 SMM, 0 no BMC to ask)")
        ->capture_default_str();
    command
        .add_option("--password-file", target.password_file,
                    "File whose first line is the password")
        ->check(CLI::ExistingFile);
    command
        .add_option("--password-env", target.password_env,
                    "Environment variable holding the password")
        ->capture_default_str();
}

int Fail(const std::string& message, int status = kUsage) {
    std::cerr << "quendal-sysinfo: " << message << '\n';
    return status;
}

// Splits --host into the connection's host and port; a port in both places must agree.
void ResolveAddress(RemoteTarget& target, bool port_given) {
    std::string why;
    const auto address = Tesmora::ParseHostAddress(target.address, &why);
    if (!address) {
        throw UsageError("--host: " + why);
    }
    if (address->port && port_given && *address->port != target.connection.port) {
        throw UsageError("--host names port " + std::to_string(*address->port) +
                         " and --port names " + std::to_string(target.connection.port));
    }
    target.connection.host = address->host;
    if (address->port) {
        target.connection.port = *address->port;
    }
}

// The backend remote endpoints are answered by, for the rest of the run.
struct Remote {
    std::shared_ptr<const Tesmora::Inventory> inventory;  // with --inventory
    std::shared_ptr<Tesmora::NetworkBackend> network;     // otherwise
    std::shared_ptr<Tesmora::DiagnosticLog> diagnostics =
        std::make_shared<Tesmora::DiagnosticLog>();
};

Remote UseRemote(const Options& options) {
    Remote remote;
    if (!options.inventory.empty()) {
        remote.inventory = Tesmora::Inventory::Load(options.inventory);
        Tesmora::SetBackend(std::make_shared<Tesmora::InventoryBackend>(remote.inventory));
        return remote;
    }
    Tesmora::NetworkOptions network;
    network.verify_peer = !options.insecure;
    network.ca_file = options.ca_file;
    network.timeout = std::chrono::seconds(options.timeout_seconds);
    network.retries = options.retries;
    network.diagnostics = remote.diagnostics;
    remote.network = std::make_shared<Tesmora::NetworkBackend>(network);
    Tesmora::SetBackend(remote.network);
    return remote;
}

const char* SeverityWord(Tesmora::Severity severity) {
    switch (severity) {
        case Tesmora::Severity::kError:
            return "error";
        case Tesmora::Severity::kWarning:
            return "warning";
        case Tesmora::Severity::kNote:
            return "note";
    }
    return "note";
}

int Emit(const Options& options, const TargetResult& result, const Remote& remote) {
    // The sessions end before anything is printed: also when the scan failed.
    if (remote.network) {
        remote.network->Close();
    }
    for (const ScanReport& scan : result.scans) {
        std::cerr << scan.scan << ": status " << scan.status << " (" << scan.meaning << ")\n";
    }
    for (const Tesmora::Diagnostic& diagnostic : remote.diagnostics->Reports()) {
        std::cerr << "quendal-sysinfo: " << SeverityWord(diagnostic.severity) << ": "
                  << Tesmora::Describe(diagnostic) << '\n';
    }
    if (!result.complete) {
        return Fail("a scan failed, so no document is written", kScanFailed);
    }
    const std::string text = Render(result.document, options.format);
    if (options.output.empty()) {
        std::cout << text << std::flush;
    } else {
        WriteFileAtomically(options.output, text);
    }
    return kDone;
}

int Diff(const std::string& old_path, const std::string& new_path) {
    const Comparison comparison = CompareDocuments(ReadDocument(old_path), ReadDocument(new_path));
    for (const std::string& line : comparison.lines) {
        std::cout << line << '\n';
    }
    return comparison.equal ? kDone : kDifferent;
}

int Run(int argc, char** argv) {
    CLI::App app{
        "Scans a target, builds its system-information document and prints, stores or "
        "compares it.",
        "quendal-sysinfo"};
    app.require_subcommand(1);
    // Options are spelled the same everywhere; "/path" stays a path, also on Windows.
    app.allow_windows_style_options(false);
    app.fallthrough();

    Options options;
    auto* inventory_option =
        app.add_option("--inventory", options.inventory,
                       "Answer remote targets from this JSON file (see docs/inventory.md) "
                       "instead of asking them over the network");
    auto* ca_file_option =
        app.add_option("--ca-file", options.ca_file,
                       "Also trust the CA certificates in this PEM file for HTTPS")
            ->check(CLI::ExistingFile)
            ->excludes(inventory_option);
    app.add_flag("--insecure", options.insecure,
                 "Do not check the endpoint's certificate (anyone on the way can read the "
                 "password)")
        ->excludes(ca_file_option)
        ->excludes(inventory_option);
    app.add_option("--timeout", options.timeout_seconds,
                   "Seconds to wait for a connection, and for each answer")
        ->check(CLI::Range(1u, 3600u))
        ->capture_default_str();
    app.add_option("--retries", options.retries,
                   "Further attempts after a lost connection or a failing service (HTTP 5xx)")
        ->check(CLI::Range(0u, 10u))
        ->capture_default_str();
    app.add_option("--log-level", options.log_level,
                   "Logger threshold: 0 silent, 1 failures, 2 failed steps, 3 outcomes, 4 tracing")
        ->check(CLI::Range(0u, 4u))
        ->capture_default_str();
    std::string format_name = "listing";
    std::vector<std::string> format_names;
    for (const auto& [name, format] : FormatNames()) {
        format_names.push_back(name);
    }
    app.add_option("--format", format_name, "Output: listing (the default), xml, json or info")
        ->check(CLI::IsMember(format_names));
    app.add_option("--output", options.output,
                   "Write the document to this file (replaced whole) instead of standard output");
    app.add_option("--bmc-type", options.bmc_type,
                   "Text stored as CONTENT.BMCTYPE (default: the kind of target)");

    auto* local = app.add_subcommand("local", "This host: its OS, drivers and disk drivers");
    bool loaded_only = false;
    local->add_flag("--loaded-only", loaded_only, "List only the drivers loaded right now");

    RemoteTarget server_target, esxi_target, cmm_target, switch_target, smm_target;
    auto* server = app.add_subcommand(
        "server", "A server behind its BMC: machine type, serial number, BMC-reported software");
    AddConnectionOptions(*server, server_target, 443, 1);
    auto* esxi = app.add_subcommand("esxi", "The OS of a remote ESXi host");
    AddConnectionOptions(*esxi, esxi_target, 5989, 0);
    auto* cmm = app.add_subcommand("cmm", "The firmware of a chassis's CMMs");
    AddConnectionOptions(*cmm, cmm_target, 443, Tesmora::TesmoraConnection::kEndpointCMM);
    auto* switch_command =
        app.add_subcommand("switch", "The firmware of the I/O module in one chassis bay");
    AddConnectionOptions(*switch_command, switch_target, 443,
                         Tesmora::TesmoraConnection::kEndpointCMM);
    switch_command->add_option("--bay", switch_target.bay, "Bay number")->required();
    auto* smm = app.add_subcommand("smm", "An enclosure: its SMM firmware and power supplies");
    AddConnectionOptions(*smm, smm_target, 443, Tesmora::TesmoraConnection::kEndpointSMM);

    auto* diff = app.add_subcommand(
        "diff", "Compare two stored documents (xml, json or info); exit 1 when they differ");
    std::string old_path, new_path;
    diff->add_option("OLD", old_path, "The earlier document")->required()->check(CLI::ExistingFile);
    diff->add_option("NEW", new_path, "The later document")->required()->check(CLI::ExistingFile);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? kDone : kUsage;
    }
    options.bmc_type_given = app.count("--bmc-type") > 0;
    for (const auto& [name, format] : FormatNames()) {
        if (name == format_name) {
            options.format = format;
        }
    }
    Tesmora::Log::SetMinLogLevel(options.log_level);

    try {
        if (diff->parsed()) {
            return Diff(old_path, new_path);
        }
        if (options.insecure) {
            std::cerr << "quendal-sysinfo: warning: --insecure: certificates are not checked, "
                         "so anyone on the network path can read the password\n";
        }
        const Remote remote = UseRemote(options);
        const auto bmc_type = [&](const char* kind) {
            return options.bmc_type_given ? options.bmc_type : std::string(kind);
        };
        if (local->parsed()) {
            return Emit(options, ScanLocal(!loaded_only, bmc_type("")), remote);
        }

        const std::pair<CLI::App*, RemoteTarget*> remotes[] = {{server, &server_target},
                                                               {esxi, &esxi_target},
                                                               {cmm, &cmm_target},
                                                               {switch_command, &switch_target},
                                                               {smm, &smm_target}};
        for (const auto& [command, target] : remotes) {
            if (!command->parsed()) {
                continue;
            }
            ResolveAddress(*target, command->count("--port") > 0);
            if (remote.inventory && remote.inventory->Find(target->connection.host) == nullptr) {
                return Fail(options.inventory + ": no endpoint " + target->connection.host);
            }
            target->connection.password = ObtainPassword(
                {target->password_file.empty() ? std::nullopt
                                               : std::optional<std::string>(target->password_file),
                 target->password_env,
                 "Password for " + target->connection.user + "@" + target->connection.host + ": "});
            const Connection& connection = target->connection;
            if (command == server) {
                return Emit(options, ScanServer(connection, bmc_type("BMC")), remote);
            }
            if (command == esxi) {
                return Emit(options, ScanEsxi(connection, bmc_type("")), remote);
            }
            if (command == cmm) {
                return Emit(options, ScanCmm(connection, bmc_type("CMM")), remote);
            }
            if (command == switch_command) {
                return Emit(options, ScanSwitch(connection, target->bay, bmc_type("CMM")), remote);
            }
            return Emit(options, ScanSmm(connection, bmc_type("SMM")), remote);
        }
    } catch (const Tesmora::InventoryError& error) {
        return Fail(error.what());
    } catch (const UsageError& error) {
        return Fail(error.what());
    } catch (const DocumentError& error) {
        return Fail(error.what());
    } catch (const std::runtime_error& error) {
        // Writing the output file, or a library that gave up.
        return Fail(error.what(), kScanFailed);
    }
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    return Run(argc, argv);
}
