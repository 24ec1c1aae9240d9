// What a fleet run did to each endpoint: stored as summary.json next to the documents, shown as
// a table on the standard output, and read back to merge the summaries of several runs (the
// shards of one fleet). docs/fleet.md describes the file.
//
// Contract. Every endpoint whose status is neither ok nor skipped has at least one cause, so that
// the summary always says why. SummaryJson writes valid UTF-8 whatever bytes the causes hold
// (an endpoint's answer may be quoted in them): each ill-formed sequence becomes U+FFFD.
// ReadSummary accepts what SummaryJson wrote and throws DocumentError ("PATH: ...") for
// anything else. Nothing else throws but std::bad_alloc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Targets.h"

namespace Quendal::Tool {

// The statuses of an endpoint.
inline constexpr const char* kStatusOk = "ok";
inline constexpr const char* kStatusFailed = "failed";
inline constexpr const char* kStatusCancelled = "cancelled";        // under way when the stop came
inline constexpr const char* kStatusNotScanned = "not scanned";     // the run stopped first
inline constexpr const char* kStatusResumed = "skipped (resumed)";  // its document was there

struct EndpointOutcome {
    std::string kind;
    std::string host;
    std::uint16_t port = 0;
    std::string bay;  // switch only
    std::string status;
    std::vector<ScanReport> scans;    // the module's scans, each with its status
    std::vector<std::string> causes;  // why it did not succeed, each "message (hint)"
    std::vector<std::string> notes;   // warnings and notes that did not stop it
    std::optional<std::size_t> packages;
    double seconds = 0;
    std::string document;  // its file name in the output folder, when there is one
};

struct FleetSummary {
    std::vector<EndpointOutcome> endpoints;  // in the order of the endpoint file
    bool interrupted = false;
    double seconds = 0;  // the run's wall time
};

// Whether the endpoint has its document: scanned now, or before (resumed).
bool Succeeded(const EndpointOutcome& outcome);

std::string SummaryJson(const FleetSummary& summary);

FleetSummary ReadSummary(const std::string& path);

// One row per endpoint (ENDPOINT, KIND, STATUS, PACKAGES, SECONDS, CAUSE: the first cause, made
// visible with its line ends: VisibleControls), then a line counting the endpoints of each status.
std::string SummaryTable(const FleetSummary& summary);

}  // namespace Quendal::Tool
