#include "StatusText.h"

#include "SystemInfo.h"
#include "common/StatusTable.h"

namespace Quendal::Tool {

namespace {

struct PlainStatus {
    int status;
    const char* text;
};

constexpr PlainStatus kPlainStatuses[] = {
    {SystemInfoScan::kNotACMM, "The endpoint is not a chassis management module."},
    {SystemInfoScan::kDriverListFailed, "Failed to list the installed drivers."},
    {SystemInfoScan::kDriverListUnavailable, "This system keeps no driver list to read."},
    {SystemInfoScan::kMachineTypeCheckFailed,
     "Failed to read the machine type and serial number through the BMC."},
    {SystemInfoScan::kAgentlessInventoryFailed,
     "Failed to read the software identities the BMC reports."},
};

}  // namespace

std::string StatusText(int status) {
    for (const PlainStatus& plain : kPlainStatuses) {
        if (plain.status == status) {
            return plain.text;
        }
    }
    if (const auto* entry = Quendal::Status::FindStatus(status)) {
        return std::string(entry->message);
    }
    return "Unknown status.";
}

}  // namespace Quendal::Tool
