// The endpoints of a fleet run made ready to scan: each with its connection (user, password,
// kind of endpoint), its document's name and the outcome it starts with; and the scan of one.
//
// Contract.
//   - PrepareJobs looks up every user and password before anything is scanned: each password
//     source (variable or file) is read once however many endpoints name it, and every problem
//     is told at once (up to kMaxProblems), "FILE:LINE: FIELD: what", in one UsageError. With an
//     inventory, an endpoint it does not list is such a problem too. No terminal is asked.
//   - Every job starts "not scanned", with that as its cause, so that a run stopped before it
//     reports it as such. The passwords PrepareJobs read along the way are wiped, the jobs' own
//     copies are the only ones it leaves (WipePasswords).
//   - ResumeJob marks a job "skipped (resumed)" when the previous run's summary lists its
//     endpoint (kind, host, port, bay) as ok or resumed with the document of the same name, and
//     that document can still be read; the job then keeps that outcome's scans, notes and
//     package count. Anything else leaves it to be scanned. File times play no part: an endpoint
//     added to the file is scanned, the others are not scanned again.
//   - ScanJob runs the Targets.h function of the endpoint's kind; it throws what they throw.
#pragma once

#include <boost/property_tree/ptree_fwd.hpp>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "Fleet.h"
#include "FleetFile.h"
#include "Summary.h"
#include "SysinfoOutput.h"
#include "Targets.h"
#include "tesmora/Inventory.h"

namespace Quendal::Tool {

// One endpoint of the file, ready to scan, and what became of it.
struct Job {
    FleetEndpoint endpoint;
    Connection connection;
    std::string bmc_type;
    std::string document;  // its file name
    EndpointOutcome outcome;
};

// The packages a document lists.
std::size_t PackagesOf(const boost::property_tree::ptree& document);

// The format of --format NAME for documents fleet diff can read back; UsageError for others.
Format FleetFormatOf(const std::string& name);

// name is what messages call the endpoint file; extension that of the documents.
std::vector<Job> PrepareJobs(const FleetFile& file, const std::string& name,
                             const FleetGlobals& globals, const Tesmora::Inventory* inventory,
                             const std::string& extension);

// Wipes the job's password and, for one written in the endpoint file, its source
// (WipeSecret): once the job's scans are done.
void WipePasswords(Job& job) noexcept;

// The outcomes of the summary at summary_path that a resumed run keeps, by OutcomeKey; none when
// there is no summary. A summary that cannot be read throws DocumentError.
std::map<std::string, EndpointOutcome> PreviousOutcomes(const std::string& summary_path);

void ResumeJob(Job& job, const std::string& output_dir,
               const std::map<std::string, EndpointOutcome>& previous);

TargetResult ScanJob(const Job& job);

}  // namespace Quendal::Tool
