// quendal-sysinfo fleet: scans the endpoints an endpoint file lists, many at once, writing one
// document per endpoint and a summary; and the subcommands around it: fleet diff (what changed
// between two runs), fleet shard (one part of a fleet, for another machine), fleet merge (the
// parts' results as one) and fleet pin (the file again with the pins of the endpoints' keys,
// FleetPins.h). docs/fleet.md is the user's description.
//
// Contract. AddFleetCommands defines the subcommands and their options on the tool's command
// line; main asks the result whether the user chose one and lets it run with the options of the
// whole tool. Run returns the exit status, or throws UsageError, DocumentError or
// Tesmora::InventoryError for bad input, which main reports with status 2:
//   0  every endpoint succeeded (fleet diff: the runs hold the same documents)
//   1  fleet diff: the runs differ
//   3  some endpoint failed; the summary says which and why (fleet pin: some endpoint was
//      unreachable or presents a key other than its pin)
//   4  a document or the summary (fleet pin: the endpoint file) could not be written
//   6  with --partial: no endpoint failed, but some documents lack what could not be read
//      (status "partial" in the summary, which lists what each lacks)
//   130 (SIGINT, Ctrl-C), 143 (SIGTERM): the run was stopped; the finished documents and the
//      summary of what was done are written, the sessions opened are closed
//
// A scan takes no input from a terminal: every password comes from the file's sources or the
// tool's --password-file or password variable. The run's scans use the same functions the
// single-target subcommands use (Targets.h), one worker thread each.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>

#include "Remote.h"

namespace Quendal::Tool {

// The options of the whole tool that a fleet run heeds.
struct FleetGlobals {
    RemoteSettings remote;
    std::string user;
    std::string password_file;
    std::string password_env;
    std::string format;                 // of the documents: json (default), xml or info
    std::optional<std::string> output;  // fleet shard writes there
    std::optional<std::string> bmc_type;
    bool quiet = false;
    bool log_level_chosen = false;  // else the libraries' log stays silent during the run
};

class FleetCommand {
public:
    virtual ~FleetCommand() = default;
    virtual bool Parsed() const = 0;
    virtual int Run(const FleetGlobals& globals) = 0;
};

std::unique_ptr<FleetCommand> AddFleetCommands(CLI::App* app);

}  // namespace Quendal::Tool
