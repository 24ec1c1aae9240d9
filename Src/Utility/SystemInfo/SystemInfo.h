// Public interface of the system-information module.
//
// One include gives a caller every exported operation and the records they take.
//
// Contract. Every operation is a static member function; the module keeps no state between
// calls and allocates nothing that outlives a call. The caller owns every record, list, pair,
// tree and stream it passes in. Scans append to the caller's lists and never clear them.
//
// Threads. Calls share nothing inside the module; whether two scans may run at once is up to
// the in-house libraries they use. A tree or stream must not be touched by another thread while
// an operation writes into it.
//
// Errors. Scans report through their int status (0 is success) and the logger. The document
// operations report nothing of their own: exceptions of Boost.PropertyTree, of the standard
// library and of the in-house libraries reach the caller unchanged. The module itself throws
// and catches nothing.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <tesmora/ConnectionInfo.h>
#include <tesmora/DriverData.h>
#include <tesmora/PSUFwInfo.h>
#include <tesmora/TSOptions.h>

// QUENDAL_SYSTEM_INFO_API exports a class from the module and imports it into callers. Members
// defined in this header (the defaulted assignment operators) are exported the same way, but a
// caller must not see them as imported, since it compiles their definitions itself. A static
// build (QUENDAL_SYSTEM_INFO_STATIC, set for every user of the module) neither exports nor imports.
#if defined(QUENDAL_SYSTEM_INFO_STATIC)
#define QUENDAL_SYSTEM_INFO_API
#define QUENDAL_SYSTEM_INFO_INLINE_API
#elif defined(_WIN32)
#if defined(QUENDAL_SYSTEM_INFO_BUILD)
#define QUENDAL_SYSTEM_INFO_API __declspec(dllexport)
#define QUENDAL_SYSTEM_INFO_INLINE_API __declspec(dllexport)
#else
#define QUENDAL_SYSTEM_INFO_API __declspec(dllimport)
#define QUENDAL_SYSTEM_INFO_INLINE_API
#endif
#else
#define QUENDAL_SYSTEM_INFO_API __attribute__((visibility("default")))
#define QUENDAL_SYSTEM_INFO_INLINE_API __attribute__((visibility("default")))
#endif

// One firmware identity of a chassis management module.
struct CMMInfo {
    std::string mt;  // chassis machine type; read from the first record of a list only
    std::string sn;  // chassis serial number; read from the first record of a list only
    std::string id;
    std::string version;
    std::string classification;  // classification code as text
    std::string description;
    std::string name;
};

// One firmware identity of a chassis I/O module; same members and meaning as CMMInfo.
struct SwitchInfo {
    std::string mt;
    std::string sn;
    std::string id;
    std::string version;
    std::string classification;
    std::string description;
    std::string name;
};

// An enclosure's system management module and its own firmware, supplied by the caller.
struct SMMInfo {
    std::string mt;
    std::string sn;
    std::string id;
    std::string version;
    std::string classification;  // also given to every power-supply package of the enclosure
    std::string description;
    std::string name;
};

// Scans of the local host and of remote endpoints. Each returns 0 on success, a status of the
// tool's registry, or one of the plain values below, and writes the caller's pair only on
// success (unless its comment says otherwise). Lists are appended to, never cleared.
class QUENDAL_SYSTEM_INFO_API SystemInfoScan {
public:
    using ConnectionInfo = Tesmora::TesmoraConnection::ConnectionInfo;
    using SoftwareIdentity = Tesmora::TSOptions::SoftwareIdentity_;

    // Plain results outside the registry. Enumerators rather than constants: a class imported
    // from a DLL cannot lend out the address of a constant member.
    enum : int {
        kNotACMM = 1552,                   // the endpoint is not a CMM
        kDriverListFailed = 1744,          // the driver library failed
        kDriverListUnavailable = 1745,     // passed on from the driver library
        kMachineTypeCheckFailed = 1746,    // the BMC's system check failed
        kAgentlessInventoryFailed = 1747,  // the BMC's PLDM inventory failed
    };

    // The local Windows edition as (display name, "64 bit"/"32 bit").
    static int GetOSInfo(std::pair<std::string, std::string>& os_info);
    // As above; reserved is neither read nor written.
    static int GetOSInfo(std::pair<std::string, std::string>& os_info, std::string& reserved);
    // The version of a remote hypervisor host, asked over CIM.
    static int GetEsxiOSInfo(const ConnectionInfo& connection,
                             std::pair<std::string, std::string>& os_info);
    // The local host's drivers: every driver when all_drivers, else the loaded ones.
    static int GetDriverData(std::vector<Tesmora::DriverData>& drivers, bool all_drivers);
    // Identities of the local host's on-board disk drivers.
    static int GetDiskDriverSoftwareIdentity(std::vector<SoftwareIdentity>& identities);
    // Identities the BMC reports over PLDM; succeeds without asking when connection.type is 0.
    static int GetAgentlessSoftwareIdentity(const ConnectionInfo& connection,
                                            std::vector<SoftwareIdentity>& identities);
    // (machine type, serial number) of an SMM (type 7), a CMM (type 4) or a server behind its
    // BMC (any other type). Enclosures and chassis always give 0; the pair is written as far as
    // their libraries answered. For a server the system-check library fills the pair itself.
    static int GetMachineType(const ConnectionInfo& connection,
                              std::pair<std::string, std::string>& machine_type);
    // Firmware identities of a chassis's CMMs; a failing library's own code is passed on.
    static int GetCMMSoftwareIdentity(const ConnectionInfo& connection,
                                      std::vector<CMMInfo>& cmm_list);
    // Firmware identities of the I/O module in one chassis bay (decimal text).
    static int GetSwitchSoftwareIdentity(const ConnectionInfo& connection, const std::string& bay,
                                         std::vector<SwitchInfo>& switch_list);

    // Inline members are hidden unless marked, and callers expect the assignment operators in
    // the export list, so they carry the export macro of their own (here and below).
    QUENDAL_SYSTEM_INFO_INLINE_API SystemInfoScan& operator=(const SystemInfoScan&) = default;
    QUENDAL_SYSTEM_INFO_INLINE_API SystemInfoScan& operator=(SystemInfoScan&&) = default;
};

// Builds and prints the system-information document, a tree rooted at CONTENT.
class QUENDAL_SYSTEM_INFO_API SystemInfoPTree {
public:
    using OSInfo = std::pair<std::string, std::string>;       // (OS name, "64 bit"/"32 bit")
    using MachineType = std::pair<std::string, std::string>;  // (machine type, serial number)

    // Server with software identities and drivers: identities first, then drivers.
    static void GenerateSystemInfoPTree(
        const OSInfo& os_info, const MachineType& machine_type,
        const std::vector<Tesmora::DriverData>& drivers,
        const std::vector<Tesmora::TSOptions::SoftwareIdentity_>& identities,
        boost::property_tree::ptree& tree, const std::string& bmc_type);
    // Server with software identities only.
    static void GenerateSystemInfoPTree(
        const OSInfo& os_info, const MachineType& machine_type,
        const std::vector<Tesmora::TSOptions::SoftwareIdentity_>& identities,
        boost::property_tree::ptree& tree, const std::string& bmc_type);
    // Server whose OS is unknown: OS and ARCH read "None".
    static void GenerateSystemInfoPTree(
        const MachineType& machine_type,
        const std::vector<Tesmora::TSOptions::SoftwareIdentity_>& identities,
        boost::property_tree::ptree& tree, const std::string& bmc_type);
    // Enclosure: the SMM package, then one package per power supply.
    static void GenerateSystemInfoPTree(const SMMInfo& smm_info,
                                        const std::vector<Tesmora::PSUFwInfo>& psu_list,
                                        boost::property_tree::ptree& tree,
                                        const std::string& bmc_type);
    // Chassis management modules. MT and SN come from the first record; an empty list writes
    // them empty, TOTAL "0" and no packages.
    static void GenerateSystemInfoPTree(const std::vector<CMMInfo>& cmm_list,
                                        boost::property_tree::ptree& tree,
                                        const std::string& bmc_type);
    // Chassis I/O modules; as the CMM overload.
    static void GenerateSystemInfoPTree(const std::vector<SwitchInfo>& switch_list,
                                        boost::property_tree::ptree& tree,
                                        const std::string& bmc_type);

    // Appends five lines per package of CONTENT.PACKAGES to out. Throws
    // boost::property_tree::ptree_bad_path when the tree has no package or a package lacks one
    // of the five printed keys; lines written before that stay in the stream.
    static void PrintPropertyTree(const boost::property_tree::ptree& tree, std::stringstream& out);

    QUENDAL_SYSTEM_INFO_INLINE_API SystemInfoPTree& operator=(const SystemInfoPTree&) = default;
    QUENDAL_SYSTEM_INFO_INLINE_API SystemInfoPTree& operator=(SystemInfoPTree&&) = default;

private:
    SystemInfoPTree();

    // Keeps only the bytes 32 to 126; every control byte and every non-ASCII byte is dropped.
    static void ChangeToPrintableString(std::string& text);
};
