// Pure rules of the scans: the recognition tables, the result maps and the text shaping of the
// chassis records. Internal to the module, kept apart from the library calls so that each rule
// can be tested on its own.
//
// Everything here is reentrant; the tables are constants and the only shared input read is the
// process's global locale (for lower-casing and for number formatting).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace Quendal::Scan {

// One row of the Windows edition table. A row that is not supported is recognised only to be
// rejected.
struct OsRow {
    std::string_view search;  // lower case; matches anywhere in the lower-cased OS type text
    bool supported;
    std::string_view name;
    std::string_view architecture;
};

inline constexpr std::string_view k64Bit = "64 bit";
inline constexpr std::string_view k32Bit = "32 bit";

// Order matters: the first row whose search text occurs decides, so more specific editions
// ("windows server 2012 r2") come before the texts they contain ("windows server 2012").
inline constexpr std::array<OsRow, 25> kWindowsEditions = {{
    {"windows nt", false, "", ""},
    {"windows 2000 server", false, "", ""},
    {"windows server 2003", false, "", ""},
    {"windows xp", false, "", ""},
    {"windows 2000 datacenter server", false, "", ""},
    {"windows 2003 datacenter", false, "", ""},
    {"windows vista", false, "", ""},
    {"windows server 2008 r2", true, "Win Server 2008", k64Bit},
    {"windows server 2008 32-bit", true, "Win Server 2008", k32Bit},
    {"windows server 2008 64-bit", true, "Win Server 2008", k64Bit},
    {"windows 7", true, "Windows 7", k64Bit},
    {"windows 8", true, "Windows 8", k64Bit},
    {"windows 10", true, "Windows 10", k64Bit},
    {"windows 11", true, "Windows 11", k64Bit},
    {"windows server 2012 r2", true, "Windows 2012 R2", k64Bit},
    {"windows server 2012", true, "Windows 2012", k64Bit},
    {"windows server 2016", true, "Windows 2016", k64Bit},
    {"windows server version 1709", true, "Windows Server Version 1709", k64Bit},
    {"windows server version 1803", true, "Windows Server Version 1803", k64Bit},
    {"windows server version 1810", true, "Windows Server Version 1810", k64Bit},
    {"windows server version 1904", true, "Windows Server Version 1904", k64Bit},
    {"windows server 2019", true, "Windows Server 2019", k64Bit},
    {"windows server 2022", true, "Windows Server 2022", k64Bit},
    {"windows pe 32-bit", true, "Windows PE 32-bit", k32Bit},
    {"windows pe 64-bit", true, "Windows PE 64-bit", k64Bit},
}};

struct EsxiRow {
    std::string_view search;  // matches anywhere in the version text, exactly as written
    std::string_view name;
};

// "6.5.0" also holds "5.0", so the newer versions are tested first.
inline constexpr std::array<EsxiRow, 7> kEsxiVersions = {{
    {"6.7", "VMware ESXi 6.7"},
    {"6.5", "VMware ESXi 6.5"},
    {"6.0", "VMware ESXi 6.0"},
    {"5.1", "VMware ESXi 5.1"},
    {"5.5", "VMware ESXi 5.5"},
    {"5.0", "VMware ESXi 5.0"},
    {"4.0", "VMware ESXi 4"},
}};

// Lower-cases every byte through the global locale's ctype<char>, taken once for the text.
void LowerCaseInPlace(std::string& text);

// The first edition row whose search text occurs in os_type (already lower case), or nullptr.
const OsRow* RecognizeWindowsEdition(const std::string& os_type);

// The first version row whose search text occurs in version, or nullptr.
const EsxiRow* RecognizeEsxiVersion(const std::string& version);

// "64 bit" for a flag above 0, else "32 bit".
std::string_view EsxiArchitecture(std::int32_t architecture_flag);

// What GetDriverData returns for a result of the driver library: success, the library's own
// "unavailable" passed on, or one failure for everything else.
int DriverListStatus(int library_result);

// Whether a result of the device collector counts as success (0, or 6: nothing to report).
bool DiskDriverCollectSucceeded(int library_result);

// The machine type: the first four characters of a machine-type-model text (all of a shorter
// one).
std::string MachineTypeFromModel(const std::string& machine_type_model);

// A firmware entry's short name: the first twelve characters of its name.
std::string SwitchShortName(const std::string& name);

// Cuts the blanks (spaces only) at the end; an empty or all-blank text stays as it is.
void RemoveTrailingBlanks(std::string& text);

// part1-part2-part3.
std::string PassThroughId(const std::string& part1, const std::string& part2,
                          const std::string& part3);

// Empty for -1 (no classification), else the number as a default stream writes it.
std::string ClassificationText(std::int32_t classification);

}  // namespace Quendal::Scan
