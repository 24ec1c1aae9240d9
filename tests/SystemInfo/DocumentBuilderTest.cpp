#include <gtest/gtest.h>

#include <algorithm>
#include <locale>
#include <stdexcept>
#include <tuple>
#include <type_traits>

#include "SystemInfo.h"

namespace {

using boost::property_tree::ptree;
using Tesmora::DriverData;
using Tesmora::PSUFwInfo;
using Tesmora::TSOptions::SoftwareIdentity_;
using Texts = std::vector<std::string>;

// Callers rely on these to hold across releases of the library.
static_assert(!std::is_default_constructible_v<SystemInfoPTree>);
static_assert(std::is_trivially_copy_assignable_v<SystemInfoPTree>);
static_assert(std::is_trivially_move_assignable_v<SystemInfoPTree>);
static_assert(std::is_trivially_copy_assignable_v<SystemInfoScan>);

// A node's children as "KEY=value" in document order, joined by "; ".
std::string Children(const ptree& node) {
    std::string text;
    for (const auto& [key, child] : node) {
        text += (text.empty() ? "" : "; ") + key + "=" + child.data();
    }
    return text;
}

const ptree kNoPackages;

// Each package as its children, or only the value under key when one is given.
Texts Packages(const ptree& tree, const char* key = nullptr) {
    Texts packages;
    for (const auto& [name, package] : tree.get_child("CONTENT.PACKAGES", kNoPackages)) {
        packages.push_back(name != "PACKAGE" ? "stray " + name
                           : key != nullptr  ? package.get<std::string>(key)
                                             : Children(package));
    }
    return packages;
}

SoftwareIdentity_ Identity(std::string name, std::string software_id, std::string pldm_flag = "0",
                           int slot_type = 0) {
    SoftwareIdentity_ identity;
    identity.name = std::move(name);
    identity.software_id = std::move(software_id);
    identity.version_string = "1.2.3";
    identity.classifications = "10";
    identity.description = "Dual\tport\r\ncaf\xc3\xa9";
    identity.instance_id = "inst-" + identity.name;
    identity.associated_adapter_slot = "4";
    identity.slot_type = static_cast<Tesmora::TSOptions::Slot_Type>(slot_type);
    identity.is_pldm_update_supported = std::move(pldm_flag);
    return identity;
}

const std::pair<std::string, std::string> kOs{"Windows Server 2019", "64 bit"};
const std::pair<std::string, std::string> kMachine{"QX06", "J30A1B2C"};
const std::vector<SoftwareIdentity_> kIdentities{Identity("A", "ID-A"), Identity("B", "ID-B")};
// Bytes 32 (space) and 126 (tilde) are the printable bounds that descriptions keep.
const std::vector<DriverData> kDrivers{
    {"nvme\tdrv", "NVMe \x01storage\x7f driver\x1f~", "", "5.6", ""}};
const SMMInfo kSmm{"QC77", "SMM0001", "SMM-FW", "1.10", "10", "SMM\tfirmware", "SMM Firmware"};
const std::vector<PSUFwInfo> kPsus{{"psu1", "PSU-A", "6.1", "1", "PSU\tfirmware \xc3\xa9"},
                                   {"psu2", "PSU-B", "6.2", "2", "Power supply 2"}};

// CONTENT's children; PACKAGES follows the scalars when anything is listed.
std::string Content(const std::string& mt_sn, const std::string& os_arch, int total) {
    return mt_sn + "; BMCTYPE=BMC-T1; " + os_arch +
           "; ISPARTITION=0; TOTAL=" + std::to_string(total) + (total == 0 ? "" : "; PACKAGES=");
}

template <typename... Inputs>
ptree Build(const Inputs&... inputs) {
    ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree(inputs..., tree, std::string("BMC-T1"));
    return tree;
}

TEST(GenerateSystemInfoPTree, WritesScalarsInOrderThenPackagesInListOrder) {
    const std::vector<CMMInfo> cmms{{"Q721", "CH1", "CMM", "2.0", "10", "", "CMM Firmware"},
                                    {"9999", "OTHER", "CMM", "2.1", "10", "", "CMM2 Firmware"}};
    const std::string server = "MT=QX06; SN=J30A1B2C";
    const std::string windows = "OS=Windows Server 2019; ARCH=64 bit";
    const std::string no_os = "OS=None; ARCH=None";
    // The tree an overload built, its CONTENT, the NAME of each package.
    const std::tuple<ptree, std::string, Texts> cases[] = {
        {Build(kOs, kMachine, kDrivers, kIdentities),
         Content(server, windows, 3),
         {"A", "B", "nvme\tdrv"}},
        {Build(kOs, kMachine, kIdentities), Content(server, windows, 2), {"A", "B"}},
        {Build(kMachine, kIdentities), Content(server, no_os, 2), {"A", "B"}},
        {Build(kSmm, kPsus),
         Content("MT=QC77; SN=SMM0001", no_os, 3),
         {"SMM Firmware", "PSU\tfirmware \xc3\xa9", "Power supply 2"}},
        // The chassis is named by the first record.
        {Build(cmms), Content("MT=Q721; SN=CH1", no_os, 2), {"CMM Firmware", "CMM2 Firmware"}},
        {Build(std::vector<SwitchInfo>{}), Content("MT=; SN=", no_os, 0), {}}};
    for (const auto& [tree, content, names] : cases) {
        SCOPED_TRACE(content);
        EXPECT_EQ(Children(tree), "CONTENT=");
        EXPECT_EQ(Children(tree.get_child("CONTENT")), content);
        EXPECT_EQ(Packages(tree, "NAME"), names);
    }
}

// Only descriptions are filtered, and those of power supplies not even then. A listed identity
// is agentless whatever its PLDM flag says, letter case aside; a padded one is not listed.
TEST(GenerateSystemInfoPTree, EachPackageKindHasItsKeysInOrder) {
    const SwitchInfo module{"Q721", "CH1", "SW\t1", "2.0", "10", "Firmware for\tSW", "SW\t1 FW"};
    const std::vector<SoftwareIdentity_> identities{Identity("NIC\t1", "sysfw-backup", "0", 42),
                                                    Identity("NIC\t2", " SYSFW-BACKUP", "no", -3)};
    const std::pair<ptree, Texts> cases[] = {
        {Build(kOs, kMachine, identities),
         {"NAME=NIC\t1; SOFTWAREID=sysfw-backup; VERSION=1.2.3; CLASSIFICATION=10; "
          "DESCRIPTION=Dualportcaf; INSTANCEID=inst-NIC\t1; SLOTNUM=4; SLOTTYPE=42; "
          "AGENTLESSSUPPORT=1",
          "NAME=NIC\t2; SOFTWAREID= SYSFW-BACKUP; VERSION=1.2.3; CLASSIFICATION=10; "
          "DESCRIPTION=Dualportcaf; INSTANCEID=inst-NIC\t2; SLOTNUM=4; SLOTTYPE=-3; "
          "AGENTLESSSUPPORT=no"}},
        {Build(kOs, kMachine, kDrivers, std::vector<SoftwareIdentity_>{}),
         {"NAME=nvme\tdrv; SOFTWAREID=nvme\tdrv; VERSION=5.6; CLASSIFICATION=22; "
          "DESCRIPTION=NVMe storage driver~"}},
        // A power supply takes the enclosure's classification.
        {Build(kSmm, std::vector<PSUFwInfo>{kPsus[0]}),
         {"SOFTWAREID=SMM-FW; VERSION=1.10; CLASSIFICATION=10; DESCRIPTION=SMMfirmware; "
          "NAME=SMM Firmware",
          "SOFTWAREID=PSU-A; VERSION=6.1; CLASSIFICATION=10; DESCRIPTION=PSU\tfirmware \xc3\xa9; "
          "NAME=PSU\tfirmware \xc3\xa9; SLOTNUM=1"}},
        {Build(std::vector<SwitchInfo>{module}),
         {"NAME=SW\t1 FW; SOFTWAREID=SW\t1; VERSION=2.0; CLASSIFICATION=10; "
          "DESCRIPTION=Firmware forSW"}}};
    for (const auto& [tree, packages] : cases) {
        EXPECT_EQ(Packages(tree), packages);
    }
}

TEST(GenerateSystemInfoPTree, ReusedTreeGetsScalarsOverwrittenInPlaceAndPackagesAppended) {
    ptree tree;
    tree.put("HEADER", "kept");
    SystemInfoPTree::GenerateSystemInfoPTree(kOs, kMachine, kIdentities, tree, "BMC-T1");
    SystemInfoPTree::GenerateSystemInfoPTree({"Windows 11", "32 bit"}, {"QZ00", "SN2"},
                                             {Identity("C", "c")}, tree, "BMC-T1");
    EXPECT_EQ(Children(tree), "HEADER=kept; CONTENT=");
    EXPECT_EQ(Children(tree.get_child("CONTENT")),
              Content("MT=QZ00; SN=SN2", "OS=Windows 11; ARCH=32 bit", 1));
    EXPECT_EQ(Packages(tree, "NAME"), (Texts{"A", "B", "C"}));
}

// On Windows the module's DLL carries a C++ runtime of its own, whose global locale a caller's
// std::locale::global does not reach; a static build shares the caller's.
#if defined(_WIN32) && !defined(QUENDAL_SYSTEM_INFO_STATIC)
constexpr bool kCallersLocaleReachesTheModule = false;
#else
constexpr bool kCallersLocaleReachesTheModule = true;
#endif

// Writes every integer in angle brackets and refuses 666, as a locale's own number format may.
struct Bracketed : std::num_put<char> {
    template <typename Number>
    static iter_type Put(iter_type out, Number value) {
        if (value == 666) {
            throw std::runtime_error("refused");
        }
        const std::string text = "<" + std::to_string(value) + ">";
        return std::copy(text.begin(), text.end(), out);
    }
    iter_type do_put(iter_type out, std::ios_base&, char, long v) const override {
        return Put(out, v);
    }
    iter_type do_put(iter_type out, std::ios_base&, char, unsigned long v) const override {
        return Put(out, v);
    }
    iter_type do_put(iter_type out, std::ios_base&, char, unsigned long long v) const override {
        return Put(out, v);
    }
};

// ISPARTITION, TOTAL, then each package's SLOTTYPE where it has one.
Texts Rendered(const ptree& tree) {
    Texts values{tree.get<std::string>("CONTENT.ISPARTITION"),
                 tree.get<std::string>("CONTENT.TOTAL")};
    for (const auto& [key, package] : tree.get_child("CONTENT.PACKAGES")) {
        if (const auto slot_type = package.get_optional<std::string>("SLOTTYPE")) {
            values.push_back(*slot_type);
        }
    }
    return values;
}

// Typed values (ISPARTITION as an int, counts, SLOTTYPE) take the number format of the global
// locale at each call, a slot type repeated in a document included; texts and literals do not. A
// package whose value cannot be rendered is left out whole, with the exception of the tree's
// translator; the packages before it stay.
TEST(GenerateSystemInfoPTree, TypedValuesTakeTheNumberFormatOfTheGlobalLocaleAtEachCall) {
    std::vector<SoftwareIdentity_> identities;
    for (const int slot_type : {3, 3, 1234, 3}) {
        identities.push_back(Identity("A", "ID-A", "0", slot_type));
    }
    const std::vector<CMMInfo> cmms(2);
    const auto build_all = [&] {
        return std::vector<ptree>{Build(kOs, kMachine, kDrivers, identities),
                                  Build(kMachine, identities), Build(cmms),
                                  Build(kSmm, std::vector<PSUFwInfo>(1))};
    };
    const std::locale previous = std::locale::global(std::locale(std::locale(), new Bracketed));
    const std::vector<ptree> bracketed = build_all();
    ptree refusing;
    bool refused = false;
    try {
        SystemInfoPTree::GenerateSystemInfoPTree(
            kMachine, {Identity("A", "ID-A", "0", 1), Identity("B", "ID-B", "0", 666)}, refusing,
            "BMC-T1");
    } catch (const boost::property_tree::ptree_bad_data&) {
        refused = true;
    }
    std::locale::global(previous);
    const std::vector<ptree> plain = build_all();

    const std::vector<Texts> expected_plain = {{"0", "5", "3", "3", "1234", "3"},
                                               {"0", "4", "3", "3", "1234", "3"},
                                               {"0", "2"},
                                               {"0", "2"}};
    const std::vector<Texts> expected_bracketed =
        kCallersLocaleReachesTheModule
            ? std::vector<Texts>{{"<0>", "<5>", "<3>", "<3>", "<1234>", "<3>"},
                                 {"0", "<4>", "<3>", "<3>", "<1234>", "<3>"},
                                 {"0", "<2>"},
                                 {"0", "<2>"}}
            : expected_plain;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Rendered(bracketed[i]), expected_bracketed[i]);
        EXPECT_EQ(Rendered(plain[i]), expected_plain[i]);
    }
    EXPECT_EQ(refused, kCallersLocaleReachesTheModule);
    const Texts left = kCallersLocaleReachesTheModule ? Texts{"<1>"} : Texts{"1", "666"};
    EXPECT_EQ(Packages(refusing, "SLOTTYPE"), left);
}

}  // namespace
