#include "StatusText.h"

#include "SystemInfo.h"
#include "common/ErrorCode.h"

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
    const int category = status >> 16;
    if (category <= 0) {
        const auto& general = GetGeneralErrorMap();
        const auto found = general.find(status);
        if (found != general.end()) {
            return found->second;
        }
    } else {
        const auto& categories = GetCategoryErrorMap();
        const auto inner = categories.find(category);
        if (inner != categories.end()) {
            const auto found = inner->second.find(status);
            if (found != inner->second.end()) {
                return found->second;
            }
        }
    }
    return "Unknown status.";
}

}  // namespace Quendal::Tool
