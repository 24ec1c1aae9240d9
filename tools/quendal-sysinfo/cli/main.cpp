// quendal-sysinfo: scans a target through the system-information module, builds its document
// and prints it, stores it, or compares two stored documents.
//
// Remote targets are asked over the network (Redfish on HTTPS), or answered from an inventory
// file with --inventory. Why a remote scan failed is printed after the module's status lines.
//
// Exit status: 0 done (documents equal, for diff); 1 documents differ; 2 bad command line,
// inventory, password or document file; 3 a scan failed (no document is written then); 4 the
// document could not be written; 5 an unexpected failure of the tool itself; 6 with --partial,
// the document was written without what could not be read (listed on standard error); 130
// (Ctrl-C) or 143 (SIGTERM): a remote scan was stopped, its session closed and no document
// written. fleet adds its own (Fleet.h).
//
// pin (Pins.h) shows an endpoint's certificate: 0, or 3 when none could be read.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>

#include "SysinfoCli.h"
#include "SysinfoDocuments.h"
#include "SysinfoFleet.h"
#include "SysinfoOutput.h"
#include "SystemInfoVersion.h"
#include "tesmora/Log.h"

namespace {

using namespace Quendal::Tool;
using Tesmora::TesmoraConnection::ConnectionInfo;

constexpr int kDone = 0;
constexpr int kDifferent = 1;
constexpr int kUsage = 2;
constexpr int kScanFailed = 3;
constexpr int kWriteFailed = 4;
constexpr int kInternal = 5;
constexpr int kPartial = 6;

// The text form is the tool's own: the document's scalars, then the module's listing.
constexpr const char* kText = "text";

struct Options {
    RemoteSettings remote;
    std::string user;
    std::string password_file;
    std::string password_env = "QUENDAL_PASSWORD";
    std::optional<unsigned int> log_level;
    int verbose = 0;
    bool quiet = false;
    std::string format;
    std::optional<std::string> output;
    std::optional<std::string> bmc_type;
};

// A remote subcommand: where its endpoint is and what kind of endpoint the libraries see.
struct RemoteCommand {
    CLI::App* command = nullptr;
    std::string address;
    Connection connection;
    std::string bay;
};

void AddEndpointOptions(CLI::App& command, RemoteCommand& target, std::uint16_t port,
                        std::uint32_t type) {
    target.command = &command;
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
}

// Messages are for people wherever they go (Terminal.h): what an endpoint sent shows as escapes.
int Fail(const std::string& message, int status = kUsage) {
    std::cerr << "quendal-sysinfo: " << VisibleControls(message) << '\n';
    return status;
}

// Writes text to a stream; a terminal sees control bytes from the endpoints as visible escapes.
// The format --format names, or the one --output's extension implies (in any case: .JSON is
// JSON), or the text form for a file without an extension or with .txt. Any other extension is
// refused rather than written as text under a name that promises something else.
std::string ChosenFormat(const Options& options) {
    if (!options.format.empty()) {
        return options.format;
    }
    if (!options.output || *options.output == "-") {
        return kText;
    }
    std::string extension = std::filesystem::path(*options.output).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension.empty() || extension == ".txt") {
        return kText;
    }
    std::string known = ".txt";
    for (const auto& [name, format] : FormatNames()) {
        if (extension == "." + name) {
            return name;
        }
        known += ", ." + name;
    }
    throw UsageError("--output " + *options.output + ": " + extension +
                     " names no format this tool writes (" + known + "); name one with --format");
}

// The subcommand nearest to what the user typed, by edit distance; empty when none is near.
std::string NearestSubcommand(const CLI::App& app, const std::string& typed) {
    std::string nearest;
    std::size_t best = std::max<std::size_t>(2, typed.size() / 2) + 1;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        const std::string& name = command->get_name();
        std::vector<std::size_t> row(name.size() + 1);
        for (std::size_t j = 0; j < row.size(); ++j) {
            row[j] = j;
        }
        for (std::size_t i = 1; i <= typed.size(); ++i) {
            std::size_t diagonal = row[0];
            row[0] = i;
            for (std::size_t j = 1; j <= name.size(); ++j) {
                const std::size_t above = row[j];
                row[j] = std::min(
                    {row[j] + 1, row[j - 1] + 1, diagonal + (typed[i - 1] == name[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        if (row.back() < best) {
            best = row.back();
            nearest = name;
        }
    }
    return nearest;
}

// screen: the text goes to a terminal, which would obey the control bytes a value holds. The text
// form is for people wherever it goes; the other formats are data elsewhere, byte for byte.
std::string RenderAs(const boost::property_tree::ptree& document, const std::string& name,
                     bool screen, const ScanFacts& scan) {
    if (name == kText) {
        return RenderText(document);
    }
    for (const auto& [known, format] : FormatNames()) {
        if (known != name) {
            continue;
        }
        if (!screen) {
            return Render(document, format, &scan);
        }
        // The listing's line ends are its own only when no value brings any.
        return format == Format::kListing ? Render(VisibleDocument(document), format)
                                          : VisibleControls(Render(document, format, &scan));
    }
    throw UsageError("--format: unknown format " + name);
}

// Ends the sessions, weighs what the libraries reported into result and tells the outcome on the
// standard error stream: before anything is printed, also when the scan failed or was stopped.
void Conclude(const Options& options, TargetResult& result, const Remote& remote) {
    if (remote.network) {
        remote.network->Close();
    }
    const std::vector<Tesmora::Diagnostic> reports = remote.diagnostics->Reports();
    Weigh(result, reports);
    std::ostringstream outcome;
    PrintOutcome(outcome, result, reports, options.quiet);
    std::cerr << outcome.str() << std::flush;
}

int Emit(const Options& options, TargetResult result, const Remote& remote, const ScanFacts& scan) {
    Conclude(options, result, remote);
    if (StopRequested()) {
        // Whatever the scan got: the user asked for no more of it.
        return Fail(std::string("stopped (") + StopName() + "): no document is written",
                    StopStatus());
    }
    if (!result.complete) {
        return Fail("a scan failed, so no document is written", kScanFailed);
    }
    const int done = result.missing.empty() ? kDone : kPartial;
    if (!options.output || *options.output == "-") {
        ShowText(std::cout, RenderAs(result.document, ChosenFormat(options),
                                     StreamIsTerminal(std::cout), scan));
        return done;
    }
    try {
        WriteFileAtomically(*options.output,
                            RenderAs(result.document, ChosenFormat(options), false, scan));
    } catch (const std::runtime_error& error) {
        return Fail(error.what(), kWriteFailed);
    }
    return done;
}

int ListBays(const Options& options, const Connection& connection, const Remote& remote) {
    std::vector<BayModule> bays;
    TargetResult result = ScanBays(connection, bays);
    Conclude(options, result, remote);
    if (StopRequested()) {
        return Fail(std::string("stopped (") + StopName() + ")", StopStatus());
    }
    if (!result.complete) {
        return Fail("the bays could not be listed", kScanFailed);
    }
    std::string lines;
    for (const BayModule& module : bays) {
        lines += "bay " + std::to_string(module.bay) + ": " + module.kind + "\n";
    }
    ShowText(std::cout, lines);
    return kDone;
}

int Diff(const std::string& old_path, const std::string& new_path, const std::string& format) {
    if (!format.empty() && format != kText && format != "json") {
        throw UsageError("diff: --format " + format + ": the changes are told as text or json");
    }
    const Comparison comparison = CompareDocuments(ReadDocument(old_path), ReadDocument(new_path));
    if (format == "json") {
        ShowText(std::cout, DocumentDiffJson(old_path, new_path, comparison));
        return comparison.equal ? kDone : kDifferent;
    }
    std::string lines;
    for (const std::string& line : comparison.lines) {
        lines += line + '\n';
    }
    ShowText(std::cout, lines);
    return comparison.equal ? kDone : kDifferent;
}

void AddGlobalOptions(CLI::App& app, Options& options) {
    auto* inventory = app.add_option("--inventory", options.remote.inventory,
                                     "Answer remote targets from this JSON file (see "
                                     "docs/inventory.md) instead of asking them over the network");
    auto* ca_file = app.add_option("--ca-file", options.remote.ca_file,
                                   "Also trust the CA certificates in this PEM file for HTTPS")
                        ->check(CLI::ExistingFile)
                        ->excludes(inventory);
    app.add_flag("--insecure", options.remote.insecure,
                 "Do not check the endpoint's certificate (anyone on the way can read the "
                 "password)")
        ->excludes(ca_file)
        ->excludes(inventory);
    app.add_option_function<unsigned int>(
           "--timeout",
           [&options](unsigned int seconds) {
               options.remote.timeout = std::chrono::seconds(seconds);
           },
           "Seconds to wait for a connection, and for each answer (default 30)")
        ->check(CLI::Range(1u, 3600u));
    app.add_option("--retries", options.remote.retries,
                   "Further attempts after a lost connection, a refused TLS handshake or a "
                   "failing service (HTTP 5xx)")
        ->check(CLI::Range(0u, 10u))
        ->capture_default_str();
    app.add_option("--connections", options.remote.connections,
                   "Requests to one endpoint at once where its members are read one by one, "
                   "each on a connection of its own (a fleet opens up to --jobs times as many)")
        ->check(CLI::Range(1u, 8u))
        ->capture_default_str();
    app.add_flag("--partial", options.remote.partial,
                 "Write the document without what could not be read (a resource that fails, a "
                 "part the service does not offer), list that on standard error and exit 6; "
                 "by default such a scan fails")
        ->excludes(inventory);
    app.add_option("--user", options.user,
                   "User name on the remote endpoint (default: the environment variable "
                   "QUENDAL_USER)")
        ->envname("QUENDAL_USER");
    app.add_option("--password-file", options.password_file,
                   "File whose first line is the password (writable by you alone, and best "
                   "readable by you alone)")
        ->check(CLI::ExistingFile);
    app.add_option("--password-env", options.password_env,
                   "Environment variable holding the password")
        ->capture_default_str();

    std::vector<std::string> formats{kText};
    for (const auto& [name, format] : FormatNames()) {
        formats.push_back(name);
    }
    app.add_option("--format", options.format,
                   "Output: text (the document's values and the package listing; the default), "
                   "listing (the package listing alone), xml, json or info; with --output, the "
                   "file's extension .xml, .json or .info chooses when --format is not given")
        ->check(CLI::IsMember(formats));
    app.add_option("--output", options.output,
                   "Write the document to this file (replaced whole) instead of standard "
                   "output; - is standard output");
    app.add_option("--bmc-type", options.bmc_type,
                   "Text stored as CONTENT.BMCTYPE (default: BMC for server, CMM for cmm and "
                   "switch, SMM for smm, empty for local and esxi)");
    auto* log_level = app.add_option("--log-level", options.log_level,
                                     "Logger threshold: 0 silent, 1 failures, 2 failed steps, 3 "
                                     "outcomes, 4 tracing (default: TESMORA_LOG_LEVEL, else 1)")
                          ->check(CLI::Range(0u, 4u));
    app.add_flag("-v,--verbose", options.verbose,
                 "One more level of logging for each -v (above TESMORA_LOG_LEVEL or 1)")
        ->excludes(log_level);
    app.add_flag("-q,--quiet", options.quiet,
                 "No status line per scan, no notes and no log records (unless --log-level); "
                 "failures are still told")
        ->excludes("--verbose");
}

// The password is in the connection returned and nowhere else the tool keeps.
Connection EndpointOf(const Options& options, RemoteCommand& target) {
    ResolveAddress(target.address, target.command->count("--port") > 0, target.connection);
    if (options.user.empty()) {
        throw UsageError("no user: give --user USER or set QUENDAL_USER");
    }
    Connection connection = target.connection;
    connection.user = options.user;
    connection.password = ObtainPassword(
        {options.password_file.empty() ? std::nullopt
                                       : std::optional<std::string>(options.password_file),
         options.password_env, "Password for " + connection.user + "@" + connection.host + ": "});
    return connection;
}

int Run(int argc, char** argv) {
    CLI::App app{
        "Scans a target, builds its system-information document and prints, stores or "
        "compares it.",
        "quendal-sysinfo"};
    app.require_subcommand(1);
    // Options are spelled the same everywhere; "/path" stays a path, also on Windows.
    app.allow_windows_style_options(false);
    // Options of the whole tool may also follow the subcommand.
    app.fallthrough();
    app.set_version_flag("--version",
                         std::string("quendal-sysinfo ") + QUENDAL_SYSTEM_INFO_VERSION);

    Options options;
    AddGlobalOptions(app, options);
    AddPinOption(app, options.remote);

    auto* local = app.add_subcommand("local", "This host: its OS, drivers and disk drivers");
    bool loaded_only = false;
    local->add_flag("--loaded-only", loaded_only, "List only the drivers loaded right now");

    RemoteCommand server, esxi, cmm, switch_target, smm;
    AddEndpointOptions(*app.add_subcommand("server",
                                           "A server behind its BMC: machine type, "
                                           "serial number, BMC-reported software"),
                       server, 443, Tesmora::TesmoraConnection::kEndpointBMC);
    AddEndpointOptions(*app.add_subcommand("esxi", "The OS of a remote ESXi host"), esxi, 5989,
                       Tesmora::TesmoraConnection::kEndpointNone);
    AddEndpointOptions(*app.add_subcommand("cmm", "The firmware of a chassis's CMMs"), cmm, 443,
                       Tesmora::TesmoraConnection::kEndpointCMM);
    AddEndpointOptions(
        *app.add_subcommand("switch", "The firmware of the I/O module in one chassis bay"),
        switch_target, 443, Tesmora::TesmoraConnection::kEndpointCMM);
    auto* bay = switch_target.command->add_option("--bay", switch_target.bay,
                                                  "Bay number, 1 to " + std::to_string(kMaxBay));
    bool list_bays = false;
    switch_target.command
        ->add_flag("--list-bays", list_bays,
                   "List the bays that hold an I/O module, with its kind, instead of scanning one")
        ->excludes(bay);
    AddEndpointOptions(
        *app.add_subcommand("smm", "An enclosure: its SMM firmware and power supplies"), smm, 443,
        Tesmora::TesmoraConnection::kEndpointSMM);

    auto* diff = app.add_subcommand(
        "diff",
        "Compare two stored documents (xml, json or info); exit 1 when they differ (--format "
        "json: the changes as data, docs/diff.schema.json)");
    std::string old_path, new_path;
    diff->add_option("OLD", old_path, "The earlier document")->required()->check(CLI::ExistingFile);
    diff->add_option("NEW", new_path, "The later document")->required()->check(CLI::ExistingFile);
    const std::unique_ptr<FleetCommand> fleet = AddFleetCommands(&app);
    const std::unique_ptr<PinCommand> pin = AddPinCommand(&app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // A word where a subcommand belongs is most often a misspelt one.
        const std::vector<std::string> rest = app.remaining();
        if (app.get_subcommands().empty() && !rest.empty() && !rest.front().empty() &&
            rest.front().front() != '-') {
            const std::string nearest = NearestSubcommand(app, rest.front());
            return Fail("unknown subcommand '" + rest.front() + "'" +
                        (nearest.empty() ? "" : "; the nearest is '" + nearest + "'") +
                        " (see --help)");
        }
        const int status = app.exit(error);
        return status == 0 ? kDone : kUsage;
    }
    // The libraries log what endpoints sent.
    Tesmora::Log::SetSink(std::make_shared<VisibleLog>());
    if (options.log_level) {
        Tesmora::Log::SetMinLogLevel(*options.log_level);
    } else if (options.quiet) {
        Tesmora::Log::SetMinLogLevel(0);
    } else if (options.verbose > 0) {
        Tesmora::Log::SetMinLogLevel(
            std::min(4u, Tesmora::Log::GetMinLogLevel() + static_cast<unsigned>(options.verbose)));
    }

    if (options.output && options.output->empty()) {
        return Fail("--output: an empty file name (- is standard output)");
    }
    if (!options.remote.ca_file.empty()) {
        CheckCaFile(options.remote.ca_file);
    }
    if (diff->parsed()) {
        return Diff(old_path, new_path, options.format);
    }
    if (pin->Parsed()) {
        return pin->Run(options.remote);
    }
    if (options.remote.insecure) {
        std::cerr << "quendal-sysinfo: warning: --insecure: certificates are not checked, so "
                     "anyone on the network path can read the password\n";
    }
    if (fleet->Parsed()) {
        return fleet->Run(FleetGlobals{options.remote, options.user, options.password_file,
                                       options.password_env, options.format, options.output,
                                       options.bmc_type, options.quiet,
                                       options.log_level || options.verbose > 0});
    }
    options.format = ChosenFormat(options);  // a bad --output is told before anything is asked
    const Remote remote = UseRemote(options.remote);
    const auto bmc_type = [&](const char* kind) { return options.bmc_type.value_or(kind); };
    ScanFacts scan{
        "local", "", 0, "", UtcTime(std::chrono::system_clock::now()), QUENDAL_SYSTEM_INFO_VERSION};
    if (local->parsed()) {
        return Emit(options, ScanLocal(!loaded_only, bmc_type("")), remote, scan);
    }
    for (RemoteCommand* target : {&server, &esxi, &cmm, &switch_target, &smm}) {
        if (!target->command->parsed()) {
            continue;
        }
        if (target == &switch_target && !list_bays) {
            if (target->bay.empty()) {
                throw UsageError(
                    "switch: --bay is required (--list-bays shows which bays hold a module)");
            }
            CheckBay(target->bay);
        }
        Connection connection = EndpointOf(options, *target);
        struct Wiped {
            std::string& password;
            ~Wiped() { WipeSecret(password); }
        } wiped{connection.password};
        if (remote.inventory && remote.inventory->Find(connection.host) == nullptr) {
            return Fail(options.remote.inventory + ": no endpoint " + connection.host);
        }
        // From here on a stop ends the scan at its next request and closes its session, as in a
        // fleet; before, at the password prompt, it ends the tool at once.
        std::optional<StopRequests> stop;
        if (remote.network) {
            stop.emplace(
                "quendal-sysinfo: stopping: the scan ends at its next request and its session is "
                "closed (Ctrl-C again quits at once, leaving it open)\n");
        }
        if (target == &switch_target && list_bays) {
            return ListBays(options, connection, remote);
        }
        scan.kind = target->command->get_name();
        scan.host = connection.host;
        scan.port = connection.port;
        scan.bay = target->bay;
        TargetResult result;
        if (target == &server) {
            result = ScanServer(connection, bmc_type("BMC"));
        } else if (target == &esxi) {
            result = ScanEsxi(connection, bmc_type(""));
        } else if (target == &cmm) {
            result = ScanCmm(connection, bmc_type("CMM"));
        } else if (target == &switch_target) {
            result = ScanSwitch(connection, target->bay, bmc_type("CMM"));
        } else {
            result = ScanSmm(connection, bmc_type("SMM"));
        }
        return Emit(options, result, remote, scan);
    }
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const Tesmora::InventoryError& error) {
        return Fail(error.what());
    } catch (const UsageError& error) {
        return Fail(error.what());
    } catch (const DocumentError& error) {
        return Fail(error.what());
    } catch (const std::bad_alloc&) {
        return Fail("out of memory", kInternal);
    } catch (const std::exception& error) {
        return Fail(std::string("unexpected failure: ") + error.what(), kInternal);
    }
}
