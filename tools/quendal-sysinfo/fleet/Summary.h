// What a fleet run did to each endpoint: stored as summary.json next to the documents, shown as
// a table on the standard output, and read back to merge the summaries of several runs (the
// shards of one fleet). docs/fleet.md describes the file.
//
// Contract. Every endpoint whose status is neither ok, partial nor skipped has at least one
// cause, so that the summary always says why, and a failure category; a partial one names what
// its document lacks. SummaryJson writes summary_version 2 (version 1 had no "failure" and
// counted "not scanned" and "skipped (resumed)" under those keys, now not_scanned and resumed)
// in valid UTF-8 whatever bytes the causes hold (an endpoint's answer may be quoted in them):
// each ill-formed sequence becomes U+FFFD. ReadSummary accepts what SummaryJson wrote, and
// version 1, and throws DocumentError ("PATH: ...") for anything else. Nothing else throws but
// std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Targets.h"

namespace Quendal::Tool {

// The run's summary, in the folder of its documents.
inline constexpr const char* kSummaryFileName = "summary.json";
// The exit status of a run whose documents or summary could not all be written.
inline constexpr int kRunWriteFailed = 4;

// The statuses of an endpoint.
inline constexpr const char* kStatusOk = "ok";
inline constexpr const char* kStatusPartial = "partial";  // a document without what is missing
inline constexpr const char* kStatusFailed = "failed";
inline constexpr const char* kStatusCancelled = "cancelled";        // under way when the stop came
inline constexpr const char* kStatusNotScanned = "not scanned";     // the run stopped first
inline constexpr const char* kStatusResumed = "skipped (resumed)";  // its document was there

// Why an endpoint did not succeed, in one word a script can switch on; the causes say it in full.
inline constexpr const char* kFailureAuth = "auth";            // user name or password refused
inline constexpr const char* kFailureTls = "tls";              // certificate, pin or TLS session
inline constexpr const char* kFailureConnect = "connect";      // no name, no connection
inline constexpr const char* kFailureTimeout = "timeout";      // --timeout or --endpoint-timeout
inline constexpr const char* kFailureService = "service";      // the endpoint's answers failed it
inline constexpr const char* kFailurePartial = "partial";      // a document lacking some parts
inline constexpr const char* kFailureCancelled = "cancelled";  // the run was stopped first
inline constexpr const char* kFailureInput = "input";  // what the tool had for it: systems lists,
                                                       // the output folder

// The category of a library's cause (FailureOf(Cause::kTimeout) is "timeout").
const char* FailureOf(Tesmora::Cause cause);

struct EndpointOutcome {
    std::string kind;
    std::string host;
    std::uint16_t port = 0;
    std::string bay;  // switch only
    std::string status;
    std::string failure;               // a kFailure* for any status but ok and resumed, else empty
    std::vector<ScanReport> scans;     // the module's scans, each with its status
    std::vector<std::string> causes;   // why it did not succeed, each "message (hint)"
    std::vector<std::string> notes;    // warnings and notes that did not stop it
    std::vector<std::string> missing;  // what a partial document lacks (--partial)
    std::optional<std::size_t> packages;
    double seconds = 0;
    std::string document;  // its file name in the output folder, when there is one
};

struct FleetSummary {
    std::vector<EndpointOutcome> endpoints;  // in the order of the endpoint file
    bool interrupted = false;
    double seconds = 0;  // the run's wall time
};

// kind, endpoint and bay: what names one endpoint across runs.
std::string OutcomeKey(const EndpointOutcome& outcome);

// Whether the endpoint has its document: scanned now (whole or partial), or before (resumed).
bool Succeeded(const EndpointOutcome& outcome);

// The exit status of a run with these outcomes: 3 when any failed (or was not done), else 6
// when any is partial, else 0.
int RunStatus(const std::vector<EndpointOutcome>& outcomes);

std::string SummaryJson(const FleetSummary& summary);

FleetSummary ReadSummary(const std::string& path);

// One row per endpoint (ENDPOINT, KIND, STATUS, PACKAGES, SECONDS, CAUSE: the first cause, or
// what a partial document lacks, made visible with its line ends: VisibleControls), then a line
// counting the endpoints of each status.
std::string SummaryTable(const FleetSummary& summary);

}  // namespace Quendal::Tool
