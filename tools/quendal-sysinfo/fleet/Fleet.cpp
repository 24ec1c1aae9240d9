#include "Fleet.h"

#include <iostream>

#include "FleetExport.h"
#include "FleetPins.h"
#include "FleetScan.h"
#include "FleetTools.h"
#include "Password.h"
#include "SysinfoOutput.h"

namespace Quendal::Tool {

namespace {

// Network-bound work: a worker spends nearly all its time waiting for an answer, so many more
// than the processors; each holds one connection and one thread.
constexpr unsigned int kDefaultJobs = 16;
constexpr unsigned int kMaxJobs = 256;
constexpr unsigned int kMaxShards = 100000;

class Commands : public FleetCommand {
public:
    explicit Commands(CLI::App& app) {
        fleet_ = app.add_subcommand(
            "fleet",
            "Scan every endpoint FILE lists, many at once: one document each and a summary in "
            "--output-dir (docs/fleet.md)");
        fleet_->require_subcommand(0, 1);
        fleet_
            ->add_option("FILE", scan_.file,
                         "Endpoint file, JSON or CSV: kind, host, port, user, password_env, "
                         "password_file, password (in a private file only), bay")
            ->check(CLI::ExistingFile);
        fleet_->add_option("--output-dir", scan_.output_dir,
                           "Folder for the documents and summary.json (made if missing)");
        fleet_
            ->add_option("--jobs", scan_.jobs,
                         "Endpoints scanned at once (fewer, with a note, where the open-file "
                         "limit leaves room for fewer)")
            ->check(CLI::Range(1u, kMaxJobs))
            ->default_val(kDefaultJobs);
        fleet_
            ->add_option_function<unsigned int>(
                "--endpoint-timeout",
                [this](unsigned int seconds) {
                    scan_.endpoint_timeout = std::chrono::seconds(seconds);
                },
                "Seconds all the requests to one endpoint may take together (default 120); "
                "past them it fails with a time-out and the others go on")
            ->check(CLI::Range(1u, 86400u));
        fleet_->add_flag(
            "--resume", scan_.resume,
            "Skip endpoints that the summary.json in --output-dir lists as ok and whose "
            "document is still there");

        diff_ = fleet_->add_subcommand(
            "diff",
            "Compare the documents of two fleet runs; exit 1 when they differ (--format "
            "json: the changes as data, docs/diff.schema.json)");
        diff_->add_option("DIR1", old_dir_, "The earlier run's --output-dir")
            ->required()
            ->check(CLI::ExistingDirectory);
        diff_->add_option("DIR2", new_dir_, "The later run's --output-dir")
            ->required()
            ->check(CLI::ExistingDirectory);

        shard_ = fleet_->add_subcommand(
            "shard",
            "Print the endpoints of one shard of FILE, in its form (to standard output, or to "
            "--output), for a fleet run on another machine");
        shard_->add_option("FILE", shard_file_, "The whole fleet's endpoint file")
            ->required()
            ->check(CLI::ExistingFile);
        shard_->add_option("--shards", shards_, "How many shards the fleet is split into")
            ->required()
            ->check(CLI::Range(1u, kMaxShards));
        shard_->add_option("--index", index_, "Which shard, from 0 to --shards minus 1")
            ->required()
            ->check(CLI::Range(0u, kMaxShards - 1));

        merge_ = fleet_->add_subcommand(
            "merge",
            "Merge the --output-dir of several fleet runs (the shards of one fleet) into "
            "--output-dir: their documents and one summary");
        merge_->add_option("DIR", merge_dirs_, "The runs' folders")
            ->required()
            ->check(CLI::ExistingDirectory);

        export_ = fleet_->add_subcommand(
            "export",
            "Print a fleet run's documents and summary as CSV (one row per endpoint and package, "
            "for spreadsheets) or OpenMetrics text (for monitoring), to standard output or "
            "--output");
        export_->add_option("DIR", export_dir_, "The run's --output-dir")
            ->required()
            ->check(CLI::ExistingDirectory);
        export_
            ->add_option("--format", export_format_,
                         "csv (RFC 4180) or openmetrics (quendal_scan_success, "
                         "quendal_scan_duration_seconds, quendal_firmware_info)")
            ->required()
            ->check(CLI::IsMember({"csv", "openmetrics"}));

        pin_ = fleet_->add_subcommand(
            "pin",
            "Read the certificate of every endpoint FILE lists (--jobs at once; a TLS handshake "
            "each, nothing sent) and write FILE again to --output with the pin of each one's "
            "key, for review (docs/security.md)");
        pin_->add_option("FILE", pin_settings_.file, "The endpoint file")
            ->required()
            ->check(CLI::ExistingFile);
        pin_->add_flag("--replace", pin_settings_.replace,
                       "Pin the key an endpoint presents now also where FILE pins another one "
                       "(once you know why it changed)");
    }

    bool Parsed() const override { return fleet_->parsed(); }

    int Run(const FleetGlobals& globals) override {
        if (diff_->parsed()) {
            if (!globals.format.empty() && globals.format != "text" && globals.format != "json") {
                throw UsageError("fleet diff: --format " + globals.format +
                                 ": the changes are told as text or json");
            }
            return DiffFleets(old_dir_, new_dir_, globals.format == "json");
        }
        if (shard_->parsed() || export_->parsed()) {
            const std::string text =
                shard_->parsed() ? ShardText(shard_file_, shards_, index_)
                                 : ExportFleet(export_dir_, export_format_ == "csv"
                                                                ? ExportFormat::kCsv
                                                                : ExportFormat::kOpenMetrics);
            if (!globals.output || *globals.output == "-") {
                std::cout << text << std::flush;
                return 0;
            }
            try {
                WriteFileAtomically(*globals.output, text);
            } catch (const std::runtime_error& error) {
                std::cerr << "quendal-sysinfo: " << error.what() << '\n';
                return 4;  // as a document that could not be written
            }
            return 0;
        }
        if (pin_->parsed()) {
            PinSettings settings = pin_settings_;
            settings.jobs = scan_.jobs;
            return PinFleet(settings, globals);
        }
        if (merge_->parsed()) {
            if (scan_.output_dir.empty()) {
                throw UsageError(
                    "fleet merge: --output-dir DIR is needed: where the merged "
                    "run goes");
            }
            return MergeFleets(merge_dirs_, scan_.output_dir);
        }
        if (scan_.file.empty()) {
            throw UsageError("fleet: FILE is needed: the endpoint file (see fleet --help)");
        }
        return ScanFleet(scan_, globals);
    }

private:
    CLI::App* fleet_ = nullptr;
    CLI::App* diff_ = nullptr;
    CLI::App* shard_ = nullptr;
    CLI::App* merge_ = nullptr;
    CLI::App* pin_ = nullptr;
    CLI::App* export_ = nullptr;
    std::string export_dir_, export_format_;
    PinSettings pin_settings_;
    ScanSettings scan_;
    std::string old_dir_, new_dir_, shard_file_;
    std::size_t shards_ = 1, index_ = 0;
    std::vector<std::string> merge_dirs_;
};

}  // namespace

std::unique_ptr<FleetCommand> AddFleetCommands(CLI::App* app) {
    return std::make_unique<Commands>(*app);
}

}  // namespace Quendal::Tool
