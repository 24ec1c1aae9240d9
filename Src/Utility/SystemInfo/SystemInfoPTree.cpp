#include "SystemInfo.h"

#include <cstdint>

#include "Src/Utility/SystemInfo/DocumentRules.h"

namespace pt = boost::property_tree;
using Tesmora::DriverData;
using Tesmora::PSUFwInfo;
using Tesmora::TSOptions::SoftwareIdentity_;

namespace {

constexpr const char* kPackagePath = "CONTENT.PACKAGES.PACKAGE";
constexpr const char* kDriverClassification = "22";

// ISPARTITION and TOTAL keep the value types each overload has always written (an int, a
// literal, a count), because the tree's translator renders each of them on its own terms.
template <typename IsPartition, typename Total>
void PutScalars(pt::ptree& tree, const std::string& mt, const std::string& sn,
                const std::string& bmc_type, const std::string& os, const std::string& arch,
                const IsPartition& is_partition, const Total& total) {
    tree.put("CONTENT.MT", mt);
    tree.put("CONTENT.SN", sn);
    tree.put("CONTENT.BMCTYPE", bmc_type);
    tree.put("CONTENT.OS", os);
    tree.put("CONTENT.ARCH", arch);
    tree.put("CONTENT.ISPARTITION", is_partition);
    tree.put("CONTENT.TOTAL", total);
}

std::string CountText(std::uint64_t count) {
    std::stringstream text;
    text << count;
    return text.str();
}

pt::ptree SoftwareIdentityPackage(const SoftwareIdentity_& identity,
                                  const std::string& printable_description) {
    pt::ptree package;
    package.put("NAME", identity.name);
    package.put("SOFTWAREID", identity.software_id);
    package.put("VERSION", identity.version_string);
    package.put("CLASSIFICATION", identity.classifications);
    package.put("DESCRIPTION", printable_description);
    package.put("INSTANCEID", identity.instance_id);
    package.put("SLOTNUM", identity.associated_adapter_slot);
    package.put("SLOTTYPE", identity.slot_type);
    if (Quendal::Document::IsAgentlessComponent(identity.software_id)) {
        package.put("AGENTLESSSUPPORT", "1");
    } else {
        package.put("AGENTLESSSUPPORT", identity.is_pldm_update_supported);
    }
    return package;
}

// The descriptions pass through the class's private filter, which the caller hands in.
void AddIdentityPackages(const std::vector<SoftwareIdentity_>& identities, pt::ptree& tree,
                         void (*printable)(std::string&)) {
    for (const auto& identity : identities) {
        std::string description = identity.description;
        printable(description);
        tree.add_child(kPackagePath, SoftwareIdentityPackage(identity, description));
    }
}

pt::ptree DriverPackage(const DriverData& driver, const std::string& printable_description) {
    pt::ptree package;
    package.put("NAME", driver.name);
    package.put("SOFTWAREID", driver.name);
    package.put("VERSION", driver.version);
    package.put("CLASSIFICATION", kDriverClassification);
    package.put("DESCRIPTION", printable_description);
    return package;
}

pt::ptree PowerSupplyPackage(const PSUFwInfo& psu, const std::string& classification) {
    pt::ptree package;
    package.put("SOFTWAREID", psu.id);
    package.put("VERSION", psu.version);
    package.put("CLASSIFICATION", classification);
    package.put("DESCRIPTION", psu.description);
    package.put("NAME", psu.description);
    package.put("SLOTNUM", psu.slot_num);
    return package;
}

// CMMInfo and SwitchInfo share their members, so one package shape serves both.
template <typename ChassisRecord>
pt::ptree ChassisPackage(const ChassisRecord& record, const std::string& printable_description) {
    pt::ptree package;
    package.put("NAME", record.name);
    package.put("SOFTWAREID", record.id);
    package.put("VERSION", record.version);
    package.put("CLASSIFICATION", record.classification);
    package.put("DESCRIPTION", printable_description);
    return package;
}

const std::string kEmpty;

}  // namespace

SystemInfoPTree::SystemInfoPTree() = default;

// The defaulted assignment operators stay trivial, yet callers of the library expect to find
// them in its export list; naming them here makes the compiler emit them in this library.
[[gnu::used]] static SystemInfoPTree& (SystemInfoPTree::*const kKeepCopyAssign)(
    const SystemInfoPTree&) = &SystemInfoPTree::operator=;
[[gnu::used]] static SystemInfoPTree& (SystemInfoPTree::*const kKeepMoveAssign)(SystemInfoPTree&&) =
    &SystemInfoPTree::operator=;

void SystemInfoPTree::GenerateSystemInfoPTree(const OSInfo& os_info,
                                              const MachineType& machine_type,
                                              const std::vector<DriverData>& drivers,
                                              const std::vector<SoftwareIdentity_>& identities,
                                              pt::ptree& tree, const std::string& bmc_type) {
    PutScalars(tree, machine_type.first, machine_type.second, bmc_type, os_info.first,
               os_info.second, 0, CountText(identities.size() + drivers.size()));
    AddIdentityPackages(identities, tree, &ChangeToPrintableString);
    for (const auto& driver : drivers) {
        std::string description = driver.description;
        ChangeToPrintableString(description);
        tree.add_child(kPackagePath, DriverPackage(driver, description));
    }
}

void SystemInfoPTree::GenerateSystemInfoPTree(const OSInfo& os_info,
                                              const MachineType& machine_type,
                                              const std::vector<SoftwareIdentity_>& identities,
                                              pt::ptree& tree, const std::string& bmc_type) {
    PutScalars(tree, machine_type.first, machine_type.second, bmc_type, os_info.first,
               os_info.second, 0, CountText(identities.size()));
    AddIdentityPackages(identities, tree, &ChangeToPrintableString);
}

void SystemInfoPTree::GenerateSystemInfoPTree(const MachineType& machine_type,
                                              const std::vector<SoftwareIdentity_>& identities,
                                              pt::ptree& tree, const std::string& bmc_type) {
    PutScalars(tree, machine_type.first, machine_type.second, bmc_type, "None", "None", "0",
               CountText(identities.size()));
    AddIdentityPackages(identities, tree, &ChangeToPrintableString);
}

void SystemInfoPTree::GenerateSystemInfoPTree(const SMMInfo& smm_info,
                                              const std::vector<PSUFwInfo>& psu_list,
                                              pt::ptree& tree, const std::string& bmc_type) {
    PutScalars(tree, smm_info.mt, smm_info.sn, bmc_type, "None", "None", "0",
               CountText(psu_list.size() + 1));

    std::string description = smm_info.description;
    ChangeToPrintableString(description);
    pt::ptree smm_package;
    smm_package.put("SOFTWAREID", smm_info.id);
    smm_package.put("VERSION", smm_info.version);
    smm_package.put("CLASSIFICATION", smm_info.classification);
    smm_package.put("DESCRIPTION", description);
    smm_package.put("NAME", smm_info.name);
    tree.add_child(kPackagePath, smm_package);

    for (const auto& psu : psu_list) {
        tree.add_child(kPackagePath, PowerSupplyPackage(psu, smm_info.classification));
    }
}

namespace {

// Shared by the CMM and switch overloads; the caller hands the private filter in.
template <typename ChassisRecord>
void GenerateChassisTree(const std::vector<ChassisRecord>& records, pt::ptree& tree,
                         const std::string& bmc_type, void (*printable)(std::string&)) {
    const std::string& mt = records.empty() ? kEmpty : records.front().mt;
    const std::string& sn = records.empty() ? kEmpty : records.front().sn;
    PutScalars(tree, mt, sn, bmc_type, "None", "None", "0",
               static_cast<std::uint64_t>(records.size()));
    for (const auto& record : records) {
        std::string description = record.description;
        printable(description);
        tree.add_child(kPackagePath, ChassisPackage(record, description));
    }
}

}  // namespace

void SystemInfoPTree::GenerateSystemInfoPTree(const std::vector<CMMInfo>& cmm_list, pt::ptree& tree,
                                              const std::string& bmc_type) {
    GenerateChassisTree(cmm_list, tree, bmc_type, &ChangeToPrintableString);
}

void SystemInfoPTree::GenerateSystemInfoPTree(const std::vector<SwitchInfo>& switch_list,
                                              pt::ptree& tree, const std::string& bmc_type) {
    GenerateChassisTree(switch_list, tree, bmc_type, &ChangeToPrintableString);
}

void SystemInfoPTree::PrintPropertyTree(const pt::ptree& tree, std::stringstream& out) {
    static constexpr struct {
        const char* key;
        const char* label;
    } kLines[] = {
        {"NAME", "NAME:  \t"},
        {"SOFTWAREID", "SOFTWAREID:  \t"},
        {"VERSION", "VERSION:  \t"},
        {"CLASSIFICATION", "CLASSIFICATION:  \t"},
        {"DESCRIPTION", "DESCRIPTION:  \t"},
    };

    // Asked first so that a document without packages fails before anything is written.
    tree.get_child(kPackagePath);
    for (const auto& [key, package] : tree.get_child("CONTENT.PACKAGES")) {
        if (key != "PACKAGE") {
            continue;
        }
        for (const auto& line : kLines) {
            const std::string value = package.get<std::string>(line.key);
            out << "    " << line.label << value << std::endl;
        }
    }
}

void SystemInfoPTree::ChangeToPrintableString(std::string& text) {
    Quendal::Document::KeepPrintableBytes(text);
}
