// quendal-sysinfo: scans a target through the system-information module, builds its document
// and prints it, stores it, or compares two stored documents.
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
#include "tesmora/DefaultBackend.h"
#include "tesmora/Inventory.h"
#include "tesmora/Log.h"

namespace {

using namespace Quendal::Tool;

constexpr int kDone = 0;
constexpr int kDifferent = 1;
constexpr int kUsage = 2;
constexpr int kScanFailed = 3;

struct Options {
    std::string inventory;
    unsigned int log_level = 1;
    Format format = Format::kListing;
    std::string output;
    std::string bmc_type;
    bool bmc_type_given = false;
};

// A remote target as the command line describes it.
struct RemoteTarget {
    Connection connection;
    std::string password_file;
    std::string password_env = "QUENDAL_PASSWORD";
    std::string bay;
};

void AddConnectionOptions(CLI::App& command, RemoteTarget& target, std::uint16_t port,
                          std::uint32_t type) {
    target.connection.port = port;
    target.connection.type = type;
    target.connection.user = "USERID";
    command.add_option("--host", target.connection.host, "Address of the endpoint")->required();
    command.add_option("--port", target.connection.port, "Port of the endpoint")
        ->capture_default_str();
    command.add_option("--user", target.connection.user, "User name")->capture_default_str();
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

// Installs the backend remote endpoints are answered from; returns the inventory, if any.
std::shared_ptr<const Tesmora::Inventory> UseInventory(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    auto inventory = Tesmora::Inventory::Load(path);
    Tesmora::SetBackend(
        std::make_shared<Tesmora::DefaultBackend>(Tesmora::MakeLocalHost(), inventory));
    return inventory;
}

int Emit(const Options& options, const TargetResult& result) {
    for (const ScanReport& scan : result.scans) {
        std::cerr << scan.scan << ": status " << scan.status << " (" << scan.meaning << ")\n";
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
    app.add_option("--inventory", options.inventory,
                   "JSON file describing the remote endpoints (see docs/inventory.md)");
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
        const auto inventory = UseInventory(options.inventory);
        const auto bmc_type = [&](const char* kind) {
            return options.bmc_type_given ? options.bmc_type : std::string(kind);
        };
        if (local->parsed()) {
            return Emit(options, ScanLocal(!loaded_only, bmc_type("")));
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
            if (inventory && inventory->Find(target->connection.host) == nullptr) {
                return Fail(options.inventory + ": no endpoint " + target->connection.host);
            }
            target->connection.password = ObtainPassword(
                {target->password_file.empty() ? std::nullopt
                                               : std::optional<std::string>(target->password_file),
                 target->password_env,
                 "Password for " + target->connection.user + "@" + target->connection.host + ": "});
            const Connection& connection = target->connection;
            if (command == server) {
                return Emit(options, ScanServer(connection, bmc_type("BMC")));
            }
            if (command == esxi) {
                return Emit(options, ScanEsxi(connection, bmc_type("")));
            }
            if (command == cmm) {
                return Emit(options, ScanCmm(connection, bmc_type("CMM")));
            }
            if (command == switch_command) {
                return Emit(options, ScanSwitch(connection, target->bay, bmc_type("CMM")));
            }
            return Emit(options, ScanSmm(connection, bmc_type("SMM")));
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
