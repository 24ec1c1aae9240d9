// The fleet run itself: every endpoint of the file scanned by a bounded pool of workers, one
// document each, a summary of all (Fleet.h has the exit statuses, docs/fleet.md the rest).
//
// Contract.
//   - Nothing is scanned before the whole file, every user and password, and the inventory's
//     endpoints (with --inventory) are known to be good.
//   - Endpoints that share a host and port (a CMM and the switches in its bays) are scanned one
//     after the other by one worker, under one log-in; its session is closed as soon as the last
//     of them is done (NetworkBackend::Close(host, port)), whatever happened.
//   - One endpoint's failure or slowness never holds up the others: each endpoint's requests
//     together are bounded by endpoint_timeout (NetworkOptions), each request by the shorter of
//     that and --timeout.
//   - A stop (StopRequests, FleetSystem.h) starts no further endpoint; the scans under way fail
//     at their next request ("cancelled"), their sessions are closed, and what finished is
//     written, with the summary, before Run returns StopStatus().
//   - Documents are written atomically (WriteFileAtomically), only for endpoints whose scans all
//     succeeded; the summary last, after every document.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "Fleet.h"
#include "FleetSystem.h"

namespace Quendal::Tool {

struct ScanSettings {
    std::string file;        // the endpoint file
    std::string output_dir;  // documents and summary.json
    unsigned int jobs = 16;  // workers
    std::chrono::seconds endpoint_timeout{120};
    bool resume = false;  // keep documents newer than the file
};

// Runs the fleet. More workers than the open-file limit leaves room for (FleetSystem.h) are
// lowered to what fits, with a note; where not even one fits, UsageError says why, before
// anything is made or scanned.
int ScanFleet(const ScanSettings& settings, const FleetGlobals& globals);

// How many of wanted scans may run at once within budget: all of them without a limit, else
// what the limit leaves after the files in use and kFilesBesideScans, at per_scan files each.
std::size_t ScansWithin(std::size_t wanted, const FileBudget& budget);

}  // namespace Quendal::Tool
