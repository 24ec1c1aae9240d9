#include "FleetScan.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

#include "FleetFile.h"
#include "FleetJobs.h"
#include "FleetPins.h"
#include "FleetSystem.h"
#include "Password.h"
#include "Progress.h"
#include "Summary.h"
#include "SysinfoOutput.h"
#include "SystemInfoVersion.h"
#include "Terminal.h"
#include "tesmora/InventoryBackend.h"
#include "tesmora/Log.h"

namespace Quendal::Tool {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Tesmora::Diagnostic;

// Every report of the backend, until the endpoint it concerns takes it.
class Causes : public Tesmora::DiagnosticSink {
public:
    void Report(const Diagnostic& diagnostic) override {
        try {
            std::lock_guard<std::mutex> lock(mutex_);
            reports_.push_back(diagnostic);
        } catch (...) {
            // Out of memory: the cause is lost, the scan's status still says it failed.
        }
    }

    // The reports about an endpoint, each distinct one once: the network backend names it
    // host:port, the inventory backend by its host.
    std::vector<Diagnostic> Take(const std::string& host, std::uint16_t port) {
        const std::string authority = AuthorityOf(host, port);
        std::vector<Diagnostic> taken, rest;
        std::lock_guard<std::mutex> lock(mutex_);
        for (Diagnostic& report : reports_) {
            if (report.endpoint != authority && report.endpoint != host) {
                rest.push_back(std::move(report));
            } else if (std::none_of(taken.begin(), taken.end(), [&](const Diagnostic& seen) {
                           return seen.severity == report.severity &&
                                  seen.message == report.message && seen.hint == report.hint;
                       })) {
                taken.push_back(std::move(report));
            }
        }
        reports_.swap(rest);
        return taken;
    }

private:
    std::mutex mutex_;
    std::vector<Diagnostic> reports_;
};

std::string TextOf(const Diagnostic& diagnostic) {
    return diagnostic.message + (diagnostic.hint.empty() ? "" : " (" + diagnostic.hint + ")");
}

struct Run {
    std::vector<Job> jobs;
    std::string output_dir;
    Format format = Format::kJson;
    std::shared_ptr<Tesmora::NetworkBackend> network;  // null with an inventory
    std::shared_ptr<Causes> causes = std::make_shared<Causes>();
    std::unique_ptr<Progress> progress;
    std::atomic<bool> write_failed{false};
};

void Scan(Run& run, Job& job) {
    const auto started = Clock::now();
    const ScanFacts scan{job.outcome.kind,
                         job.connection.host,
                         job.connection.port,
                         job.endpoint.bay,
                         UtcTime(std::chrono::system_clock::now()),
                         QUENDAL_SYSTEM_INFO_VERSION};
    EndpointOutcome& outcome = job.outcome;
    outcome.causes.clear();
    TargetResult result;
    std::string failure;
    try {
        result = ScanJob(job);
    } catch (const std::exception& error) {
        failure = std::string("unexpected failure: ") + error.what();
        result.complete = false;
    }
    bool cancelled = false;
    const std::vector<Diagnostic> reports =
        run.causes->Take(job.connection.host, job.connection.port);
    // A library call that reported an error fails the endpoint, whatever the module made of it.
    Weigh(result, reports);
    // The first error is the one that ended the scan; the module's status alone is the service's.
    const char* failure_kind = kFailureService;
    for (const Diagnostic& report : reports) {
        if (report.severity == Tesmora::Severity::kError) {
            if (outcome.causes.empty()) {
                failure_kind = FailureOf(report.cause);
            }
            outcome.causes.push_back(TextOf(report));
            cancelled = cancelled || report.cause == Tesmora::Cause::kTimeout;
        } else {
            const bool warning = report.severity == Tesmora::Severity::kWarning;
            outcome.notes.push_back((warning ? "warning: " : "note: ") + TextOf(report));
        }
    }
    for (const std::string& note : result.notes) {
        outcome.notes.push_back("note: " + note);
    }
    outcome.scans = result.scans;
    if (result.complete) {
        try {
            WriteFileAtomically((fs::path(run.output_dir) / job.document).string(),
                                Render(result.document, run.format, &scan));
            outcome.status = result.missing.empty() ? kStatusOk : kStatusPartial;
            outcome.failure = result.missing.empty() ? "" : kFailurePartial;
            outcome.missing = result.missing;
            outcome.document = job.document;
            outcome.packages = PackagesOf(result.document);
        } catch (const std::exception& error) {
            outcome.status = kStatusFailed;
            outcome.failure = kFailureInput;
            outcome.causes.push_back(std::string("the document was not written: ") + error.what());
            run.write_failed = true;
        }
    } else {
        outcome.status = cancelled && StopRequested() ? kStatusCancelled : kStatusFailed;
        outcome.failure = outcome.status == kStatusCancelled ? kFailureCancelled : failure_kind;
        if (!failure.empty()) {
            outcome.causes.push_back(failure);
        }
        // Where the libraries told no cause, the module's statuses are the cause.
        for (const ScanReport& scan :
             outcome.causes.empty() ? result.scans : std::vector<ScanReport>()) {
            if (scan.status != 0) {
                outcome.causes.push_back(scan.scan + ": status " + std::to_string(scan.status) +
                                         " (" + scan.meaning + ")");
            }
        }
        if (outcome.causes.empty()) {
            outcome.causes.push_back("a scan failed without saying why");
        }
    }
    outcome.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    run.progress->Finished(outcome.kind + " " + LabelOf(job.endpoint), outcome.status,
                           outcome.causes.empty() ? std::string() : outcome.causes.front(),
                           outcome.seconds);
}

// The endpoints of one host and port, in file order; their session closes after the last.
void ScanGroup(Run& run, const std::vector<std::size_t>& group) {
    Job* last = nullptr;
    for (const std::size_t index : group) {
        Job& job = run.jobs[index];
        if (job.outcome.status == kStatusResumed || StopRequested()) {
            continue;
        }
        Scan(run, job);
        last = &job;
    }
    if (last != nullptr && run.network) {
        run.network->Close(last->connection.host, last->connection.port);
        for (const Diagnostic& report :
             run.causes->Take(last->connection.host, last->connection.port)) {
            last->outcome.notes.push_back("warning: " + TextOf(report));
        }
    }
}

}  // namespace

std::size_t ScansWithin(std::size_t wanted, const FileBudget& budget) {
    if (budget.limit == 0 || budget.per_scan == 0) {
        return wanted;
    }
    const std::size_t taken = budget.in_use + kFilesBesideScans;
    return budget.limit <= taken ? 0 : std::min(wanted, (budget.limit - taken) / budget.per_scan);
}

int ScanFleet(const ScanSettings& settings, const FleetGlobals& globals) {
    if (globals.output) {
        throw UsageError("fleet: --output names one file; a fleet writes to --output-dir DIR");
    }
    if (settings.output_dir.empty()) {
        throw UsageError("fleet: --output-dir DIR is needed: where the documents go");
    }
    const std::string extension = globals.format.empty() ? "json" : globals.format;
    Run run;
    run.format = FleetFormatOf(extension);
    run.output_dir = settings.output_dir;
    FleetFile file = ReadFleetFile(settings.file);
    std::shared_ptr<const Tesmora::Inventory> inventory;
    if (!globals.remote.inventory.empty()) {
        inventory = Tesmora::Inventory::Load(globals.remote.inventory);
    }
    // The jobs' passwords are the only ones kept from here on, and wiped however the run ends.
    struct WipedAtTheEnd {
        FleetFile& file;
        std::vector<Job>& jobs;
        ~WipedAtTheEnd() {
            for (FleetEndpoint& endpoint : file.endpoints) {
                if (endpoint.password_from == PasswordFrom::kInline) {
                    WipeSecret(endpoint.password_source);
                }
            }
            for (Job& job : jobs) {
                WipePasswords(job);
            }
        }
    } wiped{file, run.jobs};
    run.jobs = PrepareJobs(file, settings.file, globals, inventory.get(), extension);

    // Endpoints sharing a host and port go to one worker (see FleetScan.h).
    std::vector<std::vector<std::size_t>> groups;
    std::map<std::string, std::size_t> group_of;
    for (std::size_t i = 0; i < run.jobs.size(); ++i) {
        const auto [at, fresh] =
            group_of.emplace(EndpointKeyOf(run.jobs[i].endpoint), groups.size());
        if (fresh) {
            groups.emplace_back();
        }
        groups[at->second].push_back(i);
    }
    // Past the limit on open files, scans would fail with causes that are not theirs
    // (certificates, connections) and documents would not be written.
    const std::size_t wanted = std::min<std::size_t>(settings.jobs, groups.size());
    const FileBudget files = OpenFileBudget(wanted, globals.remote.connections);
    const std::size_t workers = ScansWithin(wanted, files);
    const std::string limit_text = "the open-file limit (" + std::to_string(files.limit) + ", " +
                                   std::to_string(files.in_use) + " in use) leaves room for ";
    if (workers == 0 && wanted > 0) {
        throw UsageError("fleet: " + limit_text + "no scan: each holds up to " +
                         std::to_string(files.per_scan) + " files at once; raise it (ulimit -n)");
    }
    if (workers < wanted && !globals.quiet) {
        std::cerr << "quendal-sysinfo: fleet: note: --jobs " << settings.jobs << " lowered to "
                  << workers << ": " << limit_text << workers
                  << " scans at once, each holding up to " << files.per_scan
                  << " files (raise it with ulimit -n)\n";
    }

    std::error_code error;
    fs::create_directories(settings.output_dir, error);
    if (error || !fs::is_directory(settings.output_dir)) {
        std::cerr << "quendal-sysinfo: " << settings.output_dir
                  << ": cannot create the folder: " << error.message() << '\n';
        return kRunWriteFailed;
    }
    std::size_t resumed = 0;
    if (settings.resume) {
        const auto previous =
            PreviousOutcomes((fs::path(settings.output_dir) / kSummaryFileName).string());
        for (Job& job : run.jobs) {
            ResumeJob(job, settings.output_dir, previous);
            resumed += job.outcome.status == kStatusResumed ? 1 : 0;
        }
    }

    std::shared_ptr<Tesmora::Backend> backend;
    if (inventory) {
        backend = std::make_shared<Tesmora::InventoryBackend>(inventory, run.causes);
    } else {
        Tesmora::NetworkOptions network = NetworkOptionsOf(globals.remote, run.causes);
        network.endpoint_pins = EndpointPins(file, globals.remote.insecure);
        network.endpoint_timeout = settings.endpoint_timeout;
        backend = run.network = std::make_shared<Tesmora::NetworkBackend>(network);
    }
    const Tesmora::ScopedBackend installed(backend);
    if (!globals.log_level_chosen) {
        // Failures reach the summary; log records would only break up the progress line.
        Tesmora::Log::SetMinLogLevel(0);
    }

    const StopRequests stop;
    const auto started = Clock::now();
    run.progress =
        std::make_unique<Progress>(std::cerr,
                                   globals.quiet                 ? Progress::Mode::kQuiet
                                   : StreamIsTerminal(std::cerr) ? Progress::Mode::kBar
                                                                 : Progress::Mode::kLines,
                                   run.jobs.size(), resumed);
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> running{workers};
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < workers; ++i) {
        threads.emplace_back([&] {
            for (std::size_t group; (group = next++) < groups.size();) {
                try {
                    ScanGroup(run, groups[group]);
                } catch (...) {
                    // Out of memory in the bookkeeping: the group's endpoints keep the status
                    // they had, and the next group gets its chance.
                }
            }
            --running;
        });
    }
    for (bool told = false; running > 0;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!told && StopRequested()) {
            told = true;
            run.progress->Say(
                "quendal-sysinfo: fleet: stopping: no further endpoint is started, the scans "
                "under way end at their next request (Ctrl-C again quits at once, leaving "
                "sessions open)");
        }
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    run.progress->End();

    FleetSummary summary;
    for (const Job& job : run.jobs) {
        summary.endpoints.push_back(job.outcome);
    }
    summary.interrupted = StopRequested();
    summary.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    int status = summary.interrupted ? StopStatus()
                 : run.write_failed  ? kRunWriteFailed
                                     : RunStatus(summary.endpoints);
    try {
        WriteFileAtomically((fs::path(settings.output_dir) / kSummaryFileName).string(),
                            SummaryJson(summary));
    } catch (const std::exception& failure) {
        std::cerr << "quendal-sysinfo: error: the summary was not written: " << failure.what()
                  << '\n';
        status = summary.interrupted ? status : kRunWriteFailed;
    }
    ShowText(std::cout, SummaryTable(summary));
    return status;
}

}  // namespace Quendal::Tool
