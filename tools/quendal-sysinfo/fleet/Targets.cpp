#include "Targets.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "StatusText.h"
#include "tesmora/CMMInventory.h"
#include "tesmora/Log.h"
#include "tesmora/OperatingSystem.h"
#include "tesmora/SMMInventory.h"

namespace Quendal::Tool {

namespace {

using Pair = std::pair<std::string, std::string>;
using Identities = std::vector<Tesmora::TSOptions::SoftwareIdentity_>;

// Records one scan; returns whether it succeeded.
bool Record(TargetResult& result, const char* scan, int status, std::string meaning) {
    result.scans.push_back(ScanReport{scan, status, std::move(meaning)});
    if (status != 0) {
        result.complete = false;
    }
    return status == 0;
}

bool Record(TargetResult& result, const char* scan, int status) {
    return Record(result, scan, status, StatusText(status));
}

std::string SmmErrorText(Tesmora::SMMInventoryErrorCode code) {
    switch (code) {
        case Tesmora::SMM_SUCCESS:
            return "Succeed.";
        case Tesmora::SMM_CONNECTION_FAILED:
            return "The enclosure could not be reached.";
        case Tesmora::SMM_AUTHENTICATION_FAILED:
            return "The enclosure refused the user name or password.";
        case Tesmora::SMM_NOT_AVAILABLE:
            return "The enclosure does not offer this information.";
    }
    return "Unknown status.";
}

// Keeps the records it is given, in order; one thread at a time.
struct HeldLog : Tesmora::LogSink {
    std::vector<Tesmora::LogRecord> records;
    void Write(const Tesmora::LogRecord& record) override try {
        records.push_back(record);
    } catch (...) {
        // Out of memory: the record is lost, as a sink must not throw.
    }
};

bool RecordSmm(TargetResult& result, const char* scan, Tesmora::SMMInventoryErrorCode code) {
    return Record(result, scan, code, SmmErrorText(code));
}

}  // namespace

void Weigh(TargetResult& result, const std::vector<Tesmora::Diagnostic>& reports) {
    for (const Tesmora::Diagnostic& report : reports) {
        if (report.severity == Tesmora::Severity::kError) {
            result.complete = false;
        }
        if (!report.missing.empty() && std::find(result.missing.begin(), result.missing.end(),
                                                 report.missing) == result.missing.end()) {
            result.missing.push_back(report.missing);
        }
    }
}

TargetResult ScanLocal(bool all_drivers, const std::string& bmc_type) {
    TargetResult result;
    Pair os_info;
    int os_status = 0;
    {
        // What the module logs of an OS it does not know reads like a fault of the tool's; the
        // note that explains it goes first.
        const auto held = std::make_shared<HeldLog>();
        const Tesmora::ScopedLogSink holding(held, Tesmora::Log::GetMinLogLevel());
        os_status = SystemInfoScan::GetOSInfo(os_info);
        result.held_log = held->records;
    }
    // A host whose OS the module does not recognise is still documented, without OS facts.
    result.scans.push_back(ScanReport{"GetOSInfo", os_status, StatusText(os_status)});
    if (os_status != 0) {
        std::string os_type;
        Tesmora::TSOperatingSystem::OperatingSystem().GetOSType(os_type);
        result.notes.push_back("this host's OS, \"" + os_type +
                               "\", is not one the module documents (it knows Windows editions "
                               "only): the document's OS and ARCH read None");
        os_info = {"None", "None"};
    }

    std::vector<Tesmora::DriverData> drivers;
    Record(result, "GetDriverData", SystemInfoScan::GetDriverData(drivers, all_drivers));
    Identities identities;
    Record(result, "GetDiskDriverSoftwareIdentity",
           SystemInfoScan::GetDiskDriverSoftwareIdentity(identities));

    // The host's own machine type and serial number need a BMC to ask.
    SystemInfoPTree::GenerateSystemInfoPTree(os_info, Pair(), drivers, identities, result.document,
                                             bmc_type);
    return result;
}

TargetResult ScanServer(const Connection& connection, const std::string& bmc_type) {
    TargetResult result;
    Pair machine_type;
    Record(result, "GetMachineType", SystemInfoScan::GetMachineType(connection, machine_type));
    Identities identities;
    Record(result, "GetAgentlessSoftwareIdentity",
           SystemInfoScan::GetAgentlessSoftwareIdentity(connection, identities));
    SystemInfoPTree::GenerateSystemInfoPTree(machine_type, identities, result.document, bmc_type);
    return result;
}

TargetResult ScanEsxi(const Connection& connection, const std::string& bmc_type) {
    TargetResult result;
    Pair os_info;
    Record(result, "GetEsxiOSInfo", SystemInfoScan::GetEsxiOSInfo(connection, os_info));
    SystemInfoPTree::GenerateSystemInfoPTree(os_info, Pair(), Identities(), result.document,
                                             bmc_type);
    return result;
}

TargetResult ScanCmm(const Connection& connection, const std::string& bmc_type) {
    TargetResult result;
    std::vector<CMMInfo> cmms;
    Record(result, "GetCMMSoftwareIdentity",
           SystemInfoScan::GetCMMSoftwareIdentity(connection, cmms));
    SystemInfoPTree::GenerateSystemInfoPTree(cmms, result.document, bmc_type);
    return result;
}

TargetResult ScanSwitch(const Connection& connection, const std::string& bay,
                        const std::string& bmc_type) {
    TargetResult result;
    std::vector<SwitchInfo> switches;
    Record(result, "GetSwitchSoftwareIdentity",
           SystemInfoScan::GetSwitchSoftwareIdentity(connection, bay, switches));
    SystemInfoPTree::GenerateSystemInfoPTree(switches, result.document, bmc_type);
    return result;
}

TargetResult ScanBays(const Connection& connection, std::vector<BayModule>& bays) {
    static constexpr const char* kMeanings[] = {"Succeed.", "The chassis could not be reached.",
                                                "The chassis refused the user name or password.",
                                                "No such module.",
                                                "The chassis's answer could not be used."};
    TargetResult result;
    std::vector<std::pair<int, int>> found;
    const int status = Tesmora::CMMInventory(connection.host, connection.port, connection.user,
                                             connection.password)
                           .GetModuleBays(found);
    Record(result, "GetModuleBays", status,
           status >= 0 && status < static_cast<int>(std::size(kMeanings)) ? kMeanings[status]
                                                                          : "Unknown status.");
    for (const auto& [bay, kind] : found) {
        bays.push_back({bay, kind == Tesmora::CMMInventory::kPassThroughModule
                                 ? "pass-through module"
                                 : "I/O module"});
    }
    return result;
}

TargetResult ScanSmm(const Connection& connection, const std::string& bmc_type) {
    TargetResult result;
    Pair machine_type;
    Record(result, "GetMachineType", SystemInfoScan::GetMachineType(connection, machine_type));

    // The module leaves the enclosure's own firmware and power supplies to its caller.
    SMMInfo smm_info;
    smm_info.mt = machine_type.first;
    smm_info.sn = machine_type.second;
    std::vector<Tesmora::PSUFwInfo> power_supplies;
    {
        Tesmora::SMMInventory smm(connection);
        Tesmora::SMMFirmware firmware;
        if (RecordSmm(result, "GetSmmFirmware", smm.GetSmmFirmware(firmware))) {
            smm_info.id = firmware.id;
            smm_info.version = firmware.version;
            smm_info.classification = firmware.classification;
            smm_info.description = firmware.description;
            smm_info.name = firmware.name;
        }
        RecordSmm(result, "GetPSUFirmware", smm.GetPSUFirmware(power_supplies));
    }
    SystemInfoPTree::GenerateSystemInfoPTree(smm_info, power_supplies, result.document, bmc_type);
    return result;
}

}  // namespace Quendal::Tool
