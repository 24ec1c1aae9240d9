#include <gtest/gtest.h>

#include <tuple>
#include <type_traits>

#include "SystemInfo.h"

namespace {

using boost::property_tree::ptree;
using Tesmora::DriverData;
using Tesmora::PSUFwInfo;
using Tesmora::TSOptions::SoftwareIdentity_;
using Entries = std::vector<std::pair<std::string, std::string>>;

// Callers rely on these to hold across releases of the library.
static_assert(!std::is_default_constructible_v<SystemInfoPTree>);
static_assert(std::is_trivially_copy_assignable_v<SystemInfoPTree>);
static_assert(std::is_trivially_move_assignable_v<SystemInfoPTree>);
static_assert(std::is_trivially_copy_assignable_v<SystemInfoScan>);

Entries ChildrenOf(const ptree& node) {
    Entries entries;
    for (const auto& [key, child] : node) {
        entries.emplace_back(key, child.data());
    }
    return entries;
}

// CONTENT without its PACKAGES node, in document order.
Entries Scalars(const ptree& tree) {
    Entries scalars = ChildrenOf(tree.get_child("CONTENT"));
    if (!scalars.empty() && scalars.back().first == "PACKAGES") {
        scalars.pop_back();
    }
    return scalars;
}

std::vector<Entries> Packages(const ptree& tree) {
    std::vector<Entries> packages;
    if (const auto node = tree.get_child_optional("CONTENT.PACKAGES")) {
        for (const auto& [key, package] : *node) {
            EXPECT_EQ(key, "PACKAGE");
            packages.push_back(ChildrenOf(package));
        }
    }
    return packages;
}

SoftwareIdentity_ Identity(std::string name, std::string software_id) {
    SoftwareIdentity_ identity;
    identity.name = std::move(name);
    identity.software_id = std::move(software_id);
    identity.version_string = "1.2.3";
    identity.classifications = "10";
    identity.description = "desc " + identity.name;
    identity.instance_id = "inst-" + identity.name;
    identity.associated_adapter_slot = "4";
    identity.is_pldm_update_supported = "0";
    return identity;
}

DriverData Driver(std::string name) {
    DriverData driver;
    driver.name = std::move(name);
    driver.description = "driver " + driver.name;
    driver.version = "5.6";
    return driver;
}

template <typename Record>
Record Chassis(const std::string& mt, const std::string& sn, const std::string& id) {
    return Record{mt, sn, id, "2.0", "10", "Firmware " + id, id + " Firmware"};
}

const std::pair<std::string, std::string> kOs{"Windows Server 2019", "64 bit"};
const std::pair<std::string, std::string> kMachine{"7X06", "J30A1B2C"};
const std::vector<SoftwareIdentity_> kIdentities{Identity("A", "ID-A"), Identity("B", "ID-B")};
const std::vector<DriverData> kDrivers{Driver("drv")};
const SMMInfo kSmm{"7C77", "SMM0001", "SMM-FW", "1.10", "10", "SMM firmware", "SMM Firmware"};
const std::vector<PSUFwInfo> kPsus{{"psu1", "PSU-A", "6.1", "1", "Power supply 1 firmware"},
                                   {"psu2", "PSU-B", "6.2", "2", "Power supply 2 firmware"}};

Entries ExpectedScalars(const std::string& mt, const std::string& sn, const std::string& os,
                        const std::string& arch, const std::string& total) {
    return {{"MT", mt},     {"SN", sn},           {"BMCTYPE", "BMC-T1"}, {"OS", os},
            {"ARCH", arch}, {"ISPARTITION", "0"}, {"TOTAL", total}};
}

template <typename... Inputs>
ptree Build(const Inputs&... inputs) {
    ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree(inputs..., tree, std::string("BMC-T1"));
    return tree;
}

std::vector<std::string> PackageNames(const ptree& tree) {
    std::vector<std::string> names;
    for (const Entries& package : Packages(tree)) {
        const auto name = std::find_if(package.begin(), package.end(),
                                       [](const auto& entry) { return entry.first == "NAME"; });
        names.push_back(name == package.end() ? "<none>" : name->second);
    }
    return names;
}

TEST(GenerateSystemInfoPTree, WritesScalarsInOrderThenPackagesInListOrder) {
    const std::vector<CMMInfo> cmms{Chassis<CMMInfo>("8721", "CH1", "CMM"),
                                    Chassis<CMMInfo>("9999", "OTHER", "CMM2")};
    const std::vector<SwitchInfo> switches{Chassis<SwitchInfo>("8721", "CH1", "SW"),
                                           Chassis<SwitchInfo>("", "", "SW2")};
    const std::vector<DriverData> no_drivers;
    const std::vector<SoftwareIdentity_> no_identities;
    const std::string os = "Windows Server 2019";
    // The tree an overload built, its scalars, the NAME of each package.
    const std::tuple<ptree, Entries, std::vector<std::string>> cases[] = {
        {Build(kOs, kMachine, kDrivers, kIdentities),
         ExpectedScalars("7X06", "J30A1B2C", os, "64 bit", "3"),
         {"A", "B", "drv"}},
        {Build(kOs, kMachine, no_drivers, no_identities),
         ExpectedScalars("7X06", "J30A1B2C", os, "64 bit", "0"),
         {}},
        {Build(kOs, kMachine, kIdentities),
         ExpectedScalars("7X06", "J30A1B2C", os, "64 bit", "2"),
         {"A", "B"}},
        {Build(kMachine, kIdentities),
         ExpectedScalars("7X06", "J30A1B2C", "None", "None", "2"),
         {"A", "B"}},
        {Build(kSmm, kPsus),
         ExpectedScalars("7C77", "SMM0001", "None", "None", "3"),
         {"SMM Firmware", "Power supply 1 firmware", "Power supply 2 firmware"}},
        {Build(kSmm, std::vector<PSUFwInfo>{}),
         ExpectedScalars("7C77", "SMM0001", "None", "None", "1"),
         {"SMM Firmware"}},
        // The chassis is named by the first record.
        {Build(cmms),
         ExpectedScalars("8721", "CH1", "None", "None", "2"),
         {"CMM Firmware", "CMM2 Firmware"}},
        {Build(switches),
         ExpectedScalars("8721", "CH1", "None", "None", "2"),
         {"SW Firmware", "SW2 Firmware"}},
        {Build(std::vector<CMMInfo>{}), ExpectedScalars("", "", "None", "None", "0"), {}},
        {Build(std::vector<SwitchInfo>{}), ExpectedScalars("", "", "None", "None", "0"), {}}};
    for (const auto& [tree, scalars, names] : cases) {
        SCOPED_TRACE(std::get<1>(scalars[6]) + " packages from " + scalars[0].second);
        ASSERT_EQ(ChildrenOf(tree).size(), 1u);
        EXPECT_EQ(Scalars(tree), scalars);
        EXPECT_EQ(PackageNames(tree), names);
        EXPECT_EQ(tree.get_child_optional("CONTENT.PACKAGES").has_value(), !names.empty());
    }
}

struct IdentityCase {
    const char* name;
    std::string software_id;
    std::string is_pldm_update_supported;
    Tesmora::TSOptions::Slot_Type slot_type;
    std::string agentless_support;
    std::string slot_type_text;
};

void PrintTo(const IdentityCase& c, std::ostream* os) {
    *os << c.name;
}

class IdentityPackageTest : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(IdentityPackageTest, CarriesNineKeysInOrder) {
    const IdentityCase& c = GetParam();
    SoftwareIdentity_ identity = Identity("Adapter\tFirmware", c.software_id);
    identity.description = "Dual\tport\r\ncaf\xc3\xa9";
    identity.is_pldm_update_supported = c.is_pldm_update_supported;
    identity.slot_type = c.slot_type;
    const std::vector<SoftwareIdentity_> identities{identity};

    ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree(kOs, kMachine, identities, tree, "BMC-T1");

    const Entries expected{{"NAME", "Adapter\tFirmware"},
                           {"SOFTWAREID", c.software_id},
                           {"VERSION", "1.2.3"},
                           {"CLASSIFICATION", "10"},
                           {"DESCRIPTION", "Dualportcaf"},
                           {"INSTANCEID", "inst-Adapter\tFirmware"},
                           {"SLOTNUM", "4"},
                           {"SLOTTYPE", c.slot_type_text},
                           {"AGENTLESSSUPPORT", c.agentless_support}};
    ASSERT_EQ(Packages(tree).size(), 1u);
    EXPECT_EQ(Packages(tree)[0], expected);
    EXPECT_EQ(identities[0].description, "Dual\tport\r\ncaf\xc3\xa9");
}

INSTANTIATE_TEST_SUITE_P(
    Identities, IdentityPackageTest,
    ::testing::Values(IdentityCase{"ListedIdOverridesPldmFlag", "sysfw-backup", "0",
                                   Tesmora::TSOptions::SLOT_PCIE, "1", "7"},
                      IdentityCase{"PaddedIdKeepsPldmFlag", " SYSFW-BACKUP", "maybe",
                                   Tesmora::TSOptions::SLOT_ONBOARD, "maybe", "0"},
                      IdentityCase{"UnlistedIdKeepsEmptyFlag", "NIC-25G", "",
                                   Tesmora::TSOptions::SLOT_OCP, "", "9"},
                      IdentityCase{"SlotTypeBeyondNames", "NIC-25G", "1",
                                   static_cast<Tesmora::TSOptions::Slot_Type>(42), "1", "42"},
                      IdentityCase{"NegativeSlotType", "NIC-25G", "1",
                                   static_cast<Tesmora::TSOptions::Slot_Type>(-3), "1", "-3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DriverPackage, RepeatsNameAsIdAndFiltersDescription) {
    DriverData driver = Driver("nvme\tdrv");
    driver.description = "NVMe \x01storage\x7f driver";
    ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree(kOs, kMachine, {driver}, {}, tree, "BMC-T1");
    const Entries expected{{"NAME", "nvme\tdrv"},
                           {"SOFTWAREID", "nvme\tdrv"},
                           {"VERSION", "5.6"},
                           {"CLASSIFICATION", "22"},
                           {"DESCRIPTION", "NVMe storage driver"}};
    EXPECT_EQ(Packages(tree), std::vector<Entries>{expected});
}

TEST(EnclosurePackages, SmmNameLastAndPowerSuppliesUnfiltered) {
    SMMInfo smm = kSmm;
    smm.description = "SMM\tfirmware";
    const std::vector<PSUFwInfo> psus{{"psu", "PSU-A", "6.1", "3", "PSU\tfirmware \xc3\xa9"}};
    ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree(smm, psus, tree, "BMC-T1");

    const std::vector<Entries> expected{
        {{"SOFTWAREID", "SMM-FW"},
         {"VERSION", "1.10"},
         {"CLASSIFICATION", "10"},
         {"DESCRIPTION", "SMMfirmware"},
         {"NAME", "SMM Firmware"}},
        {{"SOFTWAREID", "PSU-A"},
         {"VERSION", "6.1"},
         {"CLASSIFICATION", "10"},  // the enclosure's classification
         {"DESCRIPTION", "PSU\tfirmware \xc3\xa9"},
         {"NAME", "PSU\tfirmware \xc3\xa9"},
         {"SLOTNUM", "3"}}};
    EXPECT_EQ(Packages(tree), expected);
}

TEST(ChassisPackage, FiltersOnlyTheDescription) {
    SwitchInfo record = Chassis<SwitchInfo>("8721", "CH1", "SW\t1");
    record.description = "Firmware for\tIO";
    ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree(std::vector<SwitchInfo>{record}, tree, "BMC-T1");
    const Entries expected{{"NAME", "SW\t1 Firmware"},
                           {"SOFTWAREID", "SW\t1"},
                           {"VERSION", "2.0"},
                           {"CLASSIFICATION", "10"},
                           {"DESCRIPTION", "Firmware forIO"}};
    EXPECT_EQ(Packages(tree), std::vector<Entries>{expected});
}

TEST(ReusedTree, OverwritesScalarsInPlaceAndAppendsPackages) {
    ptree tree;
    tree.put("HEADER", "kept");
    const std::vector<SoftwareIdentity_> three{Identity("A", "a"), Identity("B", "b"),
                                               Identity("C", "c")};
    SystemInfoPTree::GenerateSystemInfoPTree(kOs, kMachine, three, tree, "BMC-T1");
    const std::vector<SoftwareIdentity_> two{Identity("D", "d"), Identity("E", "e")};
    SystemInfoPTree::GenerateSystemInfoPTree({"Windows 11", "64 bit"}, {"7Z00", "SN2"}, two, tree,
                                             "BMC-T2");

    EXPECT_EQ(ChildrenOf(tree), (Entries{{"HEADER", "kept"}, {"CONTENT", ""}}));
    EXPECT_EQ(Scalars(tree), (Entries{{"MT", "7Z00"},
                                      {"SN", "SN2"},
                                      {"BMCTYPE", "BMC-T2"},
                                      {"OS", "Windows 11"},
                                      {"ARCH", "64 bit"},
                                      {"ISPARTITION", "0"},
                                      {"TOTAL", "2"}}));
    EXPECT_EQ(Packages(tree).size(), 5u);
}

}  // namespace
