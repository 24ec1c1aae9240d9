#include "Src/Utility/SystemInfo/ScanRules.h"

#include <locale>
#include <sstream>

#include "Src/Utility/SystemInfo/SystemInfo.h"
#include "common/ErrorCode.h"

namespace Quendal::Scan {

void LowerCaseInPlace(std::string& text) {
    const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
    for (char& byte : text) {
        byte = ctype.tolower(byte);
    }
}

const OsRow* RecognizeWindowsEdition(const std::string& os_type) {
    for (const OsRow& row : kWindowsEditions) {
        if (os_type.find(row.search) != std::string::npos) {
            return &row;
        }
    }
    return nullptr;
}

const EsxiRow* RecognizeEsxiVersion(const std::string& version) {
    for (const EsxiRow& row : kEsxiVersions) {
        if (version.find(row.search) != std::string::npos) {
            return &row;
        }
    }
    return nullptr;
}

std::string_view EsxiArchitecture(std::int32_t architecture_flag) {
    return architecture_flag > 0 ? k64Bit : k32Bit;
}

int DriverListStatus(int library_result) {
    if (library_result == 0) {
        return Status::SUCCEED;
    }
    return library_result == SystemInfoScan::kDriverListUnavailable
               ? SystemInfoScan::kDriverListUnavailable
               : SystemInfoScan::kDriverListFailed;
}

bool DiskDriverCollectSucceeded(int library_result) {
    return library_result == 0 || library_result == 6;
}

std::string MachineTypeFromModel(const std::string& machine_type_model) {
    return machine_type_model.substr(0, 4);
}

std::string SwitchShortName(const std::string& name) {
    return name.substr(0, 12);
}

void RemoveTrailingBlanks(std::string& text) {
    const auto last = text.find_last_not_of(' ');
    if (last != std::string::npos) {
        text.erase(last + 1);
    }
}

std::string PassThroughId(const std::string& part1, const std::string& part2,
                          const std::string& part3) {
    return part1 + "-" + part2 + "-" + part3;
}

std::string ClassificationText(std::int32_t classification) {
    if (classification == -1) {
        return std::string();
    }
    std::ostringstream text;
    text << classification;
    return text.str();
}

}  // namespace Quendal::Scan
