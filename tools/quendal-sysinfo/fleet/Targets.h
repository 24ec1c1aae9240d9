// What the tool scans, one function per kind of target: each calls the module's scans and then
// the matching document builder.
//
// A scan that fails is reported, not thrown: the result lists every scan with its status and
// says whether the document may be used. Exceptions of the module and its libraries pass
// through. Functions share nothing and may run concurrently if the libraries allow it.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <string>
#include <vector>

#include "tesmora/Log.h"

#include "SystemInfo.h"
#include "tesmora/Diagnostics.h"

namespace Quendal::Tool {

struct ScanReport {
    std::string scan;  // what was asked, e.g. "GetMachineType"
    int status = 0;
    std::string meaning;
};

struct TargetResult {
    boost::property_tree::ptree document;
    std::vector<ScanReport> scans;
    std::vector<std::string> notes;  // what the user should know about the document, first
    // Log records of the libraries held back during the scan, to be told after the notes.
    std::vector<Tesmora::LogRecord> held_log;
    bool complete = true;  // every scan the document needs succeeded
    // What the document lacks (with --partial): each resource that could not be read, each
    // part the service does not offer. A complete result with something missing is partial.
    std::vector<std::string> missing;
};

// Weighs what the libraries reported about the result's endpoint: a call that reported an
// error leaves the result incomplete even where the module's status says it succeeded (the
// module takes an enclosure's empty machine type as an answer), and what the reports name as
// missing is listed in result.missing, each once.
void Weigh(TargetResult& result, const std::vector<Tesmora::Diagnostic>& reports);

using Connection = Tesmora::TesmoraConnection::ConnectionInfo;

// This host: OS, drivers and disk drivers. A host whose OS the module does not recognise (it
// knows Windows editions only) is documented all the same, with OS and ARCH "None" and a note
// that says so and quotes the OS text the operating-system library gave; the module's log records
// of the OS scan are held back in held_log, so that the note comes before them.
TargetResult ScanLocal(bool all_drivers, const std::string& bmc_type);

// A server behind its BMC: machine type, serial number and the identities the BMC reports.
TargetResult ScanServer(const Connection& connection, const std::string& bmc_type);

// A hypervisor host's OS.
TargetResult ScanEsxi(const Connection& connection, const std::string& bmc_type);

// The firmware of a chassis's CMMs.
TargetResult ScanCmm(const Connection& connection, const std::string& bmc_type);

// The firmware of the I/O module in one chassis bay.
TargetResult ScanSwitch(const Connection& connection, const std::string& bay,
                        const std::string& bmc_type);

// The bays of a chassis that hold an I/O module, in bay order, each with its kind ("I/O module"
// or "pass-through module"): what switch --bay can scan. The result's document is empty; its one
// scan is GetModuleBays.
struct BayModule {
    int bay = 0;
    std::string kind;
};
TargetResult ScanBays(const Connection& connection, std::vector<BayModule>& bays);

// An enclosure: machine type and serial number, the SMM's firmware and its power supplies.
TargetResult ScanSmm(const Connection& connection, const std::string& bmc_type);

}  // namespace Quendal::Tool
