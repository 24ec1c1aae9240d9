// The document builder and printer beside their lower bounds: the same nodes built by hand with
// push_back, the same listing bytes written to the stream (and to a std::string) directly.
//
// Names read WORK/KIND/SIDE/N; bench/run.py pairs each "project" with its "bound" (and, for the
// printer, its "string"). Before anything is measured, main checks that every bound builds the
// same tree or writes the same bytes as the module, so a table never compares unequal work.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "SystemInfo.h"
#include "bench/support/Measured.h"

namespace {

using boost::property_tree::ptree;
using Tesmora::DriverData;
using Tesmora::PSUFwInfo;
using Tesmora::TSOptions::SoftwareIdentity_;

// ---------------------------------------------------------------------------------------------
// Invented inputs. Identifiers cycle through listed agentless components (in several letter
// cases), unlisted ones of a listed one's length and others, so every path of the agentless
// test is taken; descriptions carry a tab and a UTF-8 sequence for the printable filter.

const char* const kSoftwareIds[] = {"SYSFW-PRIMARY", "nic-fw-p1",   "mgmtctl-g2-backup",
                                    "RAID-FW-0042",  "Cpld-Psu",    "SYSFW-SECOND",
                                    "FPGA-BACKUP-X", "drvpack-lnx", "M2-BOOT-FW"};

std::string Numbered(const char* text, std::size_t i) {
    return text + std::to_string(i);
}

std::vector<SoftwareIdentity_> Identities(std::size_t n) {
    std::vector<SoftwareIdentity_> list(n);
    for (std::size_t i = 0; i < n; ++i) {
        SoftwareIdentity_& identity = list[i];
        identity.name = Numbered("Adapter firmware, port ", i);
        identity.software_id = kSoftwareIds[i % std::size(kSoftwareIds)];
        identity.version_string = Numbered("4.2.", i % 97);
        identity.classifications = "10";
        identity.description = Numbered("Dual-port 25GbE adapter\t(caf\xc3\xa9 rev) #", i);
        identity.instance_id = Numbered("FW-INST-", i);
        identity.associated_adapter_slot = std::to_string(i % 16);
        identity.slot_type = static_cast<Tesmora::TSOptions::Slot_Type>(i % 10);
        identity.is_pldm_update_supported = i % 3 == 0 ? "1" : "0";
    }
    return list;
}

std::vector<DriverData> Drivers(std::size_t n) {
    std::vector<DriverData> list(n);
    for (std::size_t i = 0; i < n; ++i) {
        list[i].name = Numbered("storport_", i);
        list[i].description = Numbered("Storage port driver\r\n#", i);
        list[i].version = Numbered("10.0.", i % 500);
    }
    return list;
}

std::vector<PSUFwInfo> PowerSupplies(std::size_t n) {
    std::vector<PSUFwInfo> list(n);
    for (std::size_t i = 0; i < n; ++i) {
        list[i] = {Numbered("psu", i), Numbered("PSU-", i), "6.1.2", std::to_string(i % 12 + 1),
                   Numbered("Power supply firmware ", i)};
    }
    return list;
}

template <typename Record>
std::vector<Record> ChassisRecords(std::size_t n) {
    std::vector<Record> list(n);
    for (std::size_t i = 0; i < n; ++i) {
        list[i] = {"Q721",
                   "CH0A7F31",
                   Numbered("MOD-", i),
                   "2.5.0",
                   "10",
                   Numbered("Firmware for\tmodule ", i),
                   Numbered("Module firmware ", i)};
    }
    return list;
}

const std::pair<std::string, std::string> kOs{"Example OS 12", "64 bit"};
const std::pair<std::string, std::string> kMachine{"QX06", "J30A1B2C"};
const SMMInfo kSmm{"QC77", "SMM0001", "SMM-FW", "1.10", "10", "SMM\tfirmware", "SMM Firmware"};
const std::string kBmcType = "BMC-T1";

// ---------------------------------------------------------------------------------------------
// The lower bound: the same nodes, written by hand, each child appended with push_back, numbers
// by std::to_string, the agentless test in plain ASCII. Locale-blind, so it is a bound only
// under the classic locale, which is the one the benchmarks run in. The cheapest way to append
// a child that the tree offers: a copy of a child already keyed, whose value is set in place
// (building the pair for each child anew costs two nodes and two value copies per child).

struct BoundKeys {
    ptree::value_type content{"CONTENT", ptree()};
    ptree::value_type mt{"MT", ptree()};
    ptree::value_type sn{"SN", ptree()};
    ptree::value_type bmctype{"BMCTYPE", ptree()};
    ptree::value_type os{"OS", ptree()};
    ptree::value_type arch{"ARCH", ptree()};
    ptree::value_type ispartition{"ISPARTITION", ptree()};
    ptree::value_type total{"TOTAL", ptree()};
    ptree::value_type packages{"PACKAGES", ptree()};
    ptree::value_type package{"PACKAGE", ptree()};
    ptree::value_type name{"NAME", ptree()};
    ptree::value_type softwareid{"SOFTWAREID", ptree()};
    ptree::value_type version{"VERSION", ptree()};
    ptree::value_type classification{"CLASSIFICATION", ptree()};
    ptree::value_type description{"DESCRIPTION", ptree()};
    ptree::value_type instanceid{"INSTANCEID", ptree()};
    ptree::value_type slotnum{"SLOTNUM", ptree()};
    ptree::value_type slottype{"SLOTTYPE", ptree()};
    ptree::value_type agentlesssupport{"AGENTLESSSUPPORT", ptree()};
};

const BoundKeys kKey;

void Leaf(ptree& node, const ptree::value_type& key, std::string value) {
    node.push_back(key)->second.data() = std::move(value);
}

ptree& Content(ptree& tree, const std::string& mt, const std::string& sn, const std::string& os,
               const std::string& arch, std::size_t total) {
    ptree& content = tree.push_back(kKey.content)->second;
    Leaf(content, kKey.mt, mt);
    Leaf(content, kKey.sn, sn);
    Leaf(content, kKey.bmctype, kBmcType);
    Leaf(content, kKey.os, os);
    Leaf(content, kKey.arch, arch);
    Leaf(content, kKey.ispartition, "0");
    Leaf(content, kKey.total, std::to_string(total));
    return content;
}

// A new empty PACKAGE, filled in place; PACKAGES is made with the first one.
ptree& NewPackage(ptree& content, ptree*& packages) {
    if (packages == nullptr) {
        packages = &content.push_back(kKey.packages)->second;
    }
    return packages->push_back(kKey.package)->second;
}

std::string Printable(const std::string& text) {
    std::string kept;
    kept.reserve(text.size());
    for (const char byte : text) {
        if (byte >= 32 && byte <= 126) {
            kept += byte;
        }
    }
    return kept;
}

bool AsciiAgentless(const std::string& id) {
    static const char* const kListed[] = {"MGMTCTL-G1-PRIMARY",
                                          "MGMTCTL-G1-BACKUP",
                                          "MGMTCTL-G2-PRIMARY",
                                          "MGMTCTL-G2-BACKUP",
                                          "MGMTCTL-G3-PRIMARY",
                                          "MGMTCTL-G3-BACKUP",
                                          "MGMTCTL-G3-RECOVERY",
                                          "SYSFW-PRIMARY",
                                          "SYSFW-BACKUP",
                                          "DIAG-IMAGE",
                                          "DIAG-IMAGE-EXT",
                                          "PREBOOT-ENV",
                                          "UPDATE-TOOL",
                                          "DRVPACK-WIN",
                                          "DRVPACK-LNX",
                                          "DRVPACK-HYP",
                                          "CHASSIS-SWITCH-FW",
                                          "SMM-FW",
                                          "CMM-FW",
                                          "CPLD-SYSTEM",
                                          "CPLD-BACKPLANE",
                                          "CPLD-PSU",
                                          "FPGA-PRIMARY",
                                          "FPGA-BACKUP"};
    for (const char* listed : kListed) {
        std::size_t i = 0;
        while (i < id.size() && listed[i] != '\0' &&
               (id[i] >= 'a' && id[i] <= 'z' ? id[i] - 32 : id[i]) == listed[i]) {
            ++i;
        }
        if (i == id.size() && listed[i] == '\0') {
            return true;
        }
    }
    return false;
}

void BoundIdentities(const std::vector<SoftwareIdentity_>& identities, ptree& tree) {
    ptree& content =
        Content(tree, kMachine.first, kMachine.second, kOs.first, kOs.second, identities.size());
    ptree* packages = nullptr;
    for (const auto& identity : identities) {
        ptree& package = NewPackage(content, packages);
        Leaf(package, kKey.name, identity.name);
        Leaf(package, kKey.softwareid, identity.software_id);
        Leaf(package, kKey.version, identity.version_string);
        Leaf(package, kKey.classification, identity.classifications);
        Leaf(package, kKey.description, Printable(identity.description));
        Leaf(package, kKey.instanceid, identity.instance_id);
        Leaf(package, kKey.slotnum, identity.associated_adapter_slot);
        Leaf(package, kKey.slottype, std::to_string(static_cast<int>(identity.slot_type)));
        Leaf(package, kKey.agentlesssupport,
             AsciiAgentless(identity.software_id) ? "1" : identity.is_pldm_update_supported);
    }
}

void BoundDrivers(const std::vector<DriverData>& drivers, ptree& tree) {
    ptree& content =
        Content(tree, kMachine.first, kMachine.second, kOs.first, kOs.second, drivers.size());
    ptree* packages = nullptr;
    for (const auto& driver : drivers) {
        ptree& package = NewPackage(content, packages);
        Leaf(package, kKey.name, driver.name);
        Leaf(package, kKey.softwareid, driver.name);
        Leaf(package, kKey.version, driver.version);
        Leaf(package, kKey.classification, "22");
        Leaf(package, kKey.description, Printable(driver.description));
    }
}

void BoundPowerSupplies(const std::vector<PSUFwInfo>& psus, ptree& tree) {
    ptree& content = Content(tree, kSmm.mt, kSmm.sn, "None", "None", psus.size() + 1);
    ptree* packages = nullptr;
    ptree& smm = NewPackage(content, packages);
    Leaf(smm, kKey.softwareid, kSmm.id);
    Leaf(smm, kKey.version, kSmm.version);
    Leaf(smm, kKey.classification, kSmm.classification);
    Leaf(smm, kKey.description, Printable(kSmm.description));
    Leaf(smm, kKey.name, kSmm.name);
    for (const auto& psu : psus) {
        ptree& package = NewPackage(content, packages);
        Leaf(package, kKey.softwareid, psu.id);
        Leaf(package, kKey.version, psu.version);
        Leaf(package, kKey.classification, kSmm.classification);
        Leaf(package, kKey.description, psu.description);
        Leaf(package, kKey.name, psu.description);
        Leaf(package, kKey.slotnum, psu.slot_num);
    }
}

template <typename Record>
void BoundChassis(const std::vector<Record>& records, ptree& tree) {
    ptree& content =
        Content(tree, records.front().mt, records.front().sn, "None", "None", records.size());
    ptree* packages = nullptr;
    for (const auto& record : records) {
        ptree& package = NewPackage(content, packages);
        Leaf(package, kKey.name, record.name);
        Leaf(package, kKey.softwareid, record.id);
        Leaf(package, kKey.version, record.version);
        Leaf(package, kKey.classification, record.classification);
        Leaf(package, kKey.description, Printable(record.description));
    }
}

// ---------------------------------------------------------------------------------------------
// One kind of package: how to make its inputs, and the module's and the bound's ways to build.

struct Kind {
    const char* name;
    void (*project)(std::size_t n, ptree& tree, const void* inputs);
    void (*bound)(std::size_t n, ptree& tree, const void* inputs);
    std::shared_ptr<const void> (*make)(std::size_t n);
};

template <typename T>
std::shared_ptr<const void> Keep(T value) {
    return std::make_shared<const T>(std::move(value));
}

const Kind kKinds[] = {
    {"identity",
     [](std::size_t, ptree& tree, const void* in) {
         SystemInfoPTree::GenerateSystemInfoPTree(
             kOs, kMachine, *static_cast<const std::vector<SoftwareIdentity_>*>(in), tree,
             kBmcType);
     },
     [](std::size_t, ptree& tree, const void* in) {
         BoundIdentities(*static_cast<const std::vector<SoftwareIdentity_>*>(in), tree);
     },
     [](std::size_t n) { return Keep(Identities(n)); }},
    {"driver",
     [](std::size_t, ptree& tree, const void* in) {
         static const std::vector<SoftwareIdentity_> kNone;
         SystemInfoPTree::GenerateSystemInfoPTree(kOs, kMachine,
                                                  *static_cast<const std::vector<DriverData>*>(in),
                                                  kNone, tree, kBmcType);
     },
     [](std::size_t, ptree& tree, const void* in) {
         BoundDrivers(*static_cast<const std::vector<DriverData>*>(in), tree);
     },
     [](std::size_t n) { return Keep(Drivers(n)); }},
    // The enclosure's own package is one of the N.
    {"psu",
     [](std::size_t, ptree& tree, const void* in) {
         SystemInfoPTree::GenerateSystemInfoPTree(
             kSmm, *static_cast<const std::vector<PSUFwInfo>*>(in), tree, kBmcType);
     },
     [](std::size_t, ptree& tree, const void* in) {
         BoundPowerSupplies(*static_cast<const std::vector<PSUFwInfo>*>(in), tree);
     },
     [](std::size_t n) { return Keep(PowerSupplies(n - 1)); }},
    {"cmm",
     [](std::size_t, ptree& tree, const void* in) {
         SystemInfoPTree::GenerateSystemInfoPTree(*static_cast<const std::vector<CMMInfo>*>(in),
                                                  tree, kBmcType);
     },
     [](std::size_t, ptree& tree, const void* in) {
         BoundChassis(*static_cast<const std::vector<CMMInfo>*>(in), tree);
     },
     [](std::size_t n) { return Keep(ChassisRecords<CMMInfo>(n)); }},
    {"switch",
     [](std::size_t, ptree& tree, const void* in) {
         SystemInfoPTree::GenerateSystemInfoPTree(*static_cast<const std::vector<SwitchInfo>*>(in),
                                                  tree, kBmcType);
     },
     [](std::size_t, ptree& tree, const void* in) {
         BoundChassis(*static_cast<const std::vector<SwitchInfo>*>(in), tree);
     },
     [](std::size_t n) { return Keep(ChassisRecords<SwitchInfo>(n)); }},
};

// ---------------------------------------------------------------------------------------------
// The printer's bounds read the five printed values straight from a list made beforehand.

constexpr const char* kLabels[] = {"    NAME:  \t", "    SOFTWAREID:  \t", "    VERSION:  \t",
                                   "    CLASSIFICATION:  \t", "    DESCRIPTION:  \t"};
constexpr std::size_t kLabelSizes[] = {12, 18, 15, 22, 19};

std::vector<std::string> PrintedValues(const ptree& tree) {
    std::vector<std::string> values;
    for (const auto& [key, package] : tree.get_child("CONTENT.PACKAGES")) {
        for (const char* name :
             {"NAME", "SOFTWAREID", "VERSION", "CLASSIFICATION", "DESCRIPTION"}) {
            values.push_back(package.get<std::string>(name));
        }
    }
    return values;
}

void BoundPrintToStream(const std::vector<std::string>& values, std::stringstream& out) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        out.write(kLabels[i % 5], kLabelSizes[i % 5]);
        out.write(values[i].data(), static_cast<std::streamsize>(values[i].size()));
        out.put('\n');
    }
}

void BoundPrintToString(const std::vector<std::string>& values, std::string& out) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        out.append(kLabels[i % 5], kLabelSizes[i % 5]).append(values[i]).push_back('\n');
    }
}

// ---------------------------------------------------------------------------------------------

void Build(benchmark::State& state, const Kind& kind, bool project) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto inputs = kind.make(n);
    const auto build = project ? kind.project : kind.bound;
    auto once = [&](bool measured) {
        ptree tree;
        Quendal::Bench::Step(state, measured, [&] { build(n, tree, inputs.get()); });
    };
    once(false);
    for (auto _ : state) {
        once(true);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

enum class PrintSide { kProject, kStream, kString };

void Print(benchmark::State& state, const Kind& kind, PrintSide side) {
    const auto n = static_cast<std::size_t>(state.range(0));
    ptree tree;
    kind.project(n, tree, kind.make(n).get());
    const std::vector<std::string> values = PrintedValues(tree);
    auto once = [&](bool measured) {
        if (side == PrintSide::kString) {
            std::string out;
            Quendal::Bench::Step(state, measured, [&] { BoundPrintToString(values, out); });
            benchmark::DoNotOptimize(out.data());
        } else {
            std::stringstream out;
            Quendal::Bench::Step(state, measured, [&] {
                if (side == PrintSide::kProject) {
                    SystemInfoPTree::PrintPropertyTree(tree, out);
                } else {
                    BoundPrintToStream(values, out);
                }
            });
        }
    };
    once(false);
    for (auto _ : state) {
        once(true);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

// Fails the run when a bound does other work than the module.
bool BoundsMatchTheModule() {
    bool same = true;
    for (const Kind& kind : kKinds) {
        for (const std::size_t n : {1, 10, 1000}) {
            const auto inputs = kind.make(n);
            ptree project;
            ptree bound;
            kind.project(n, project, inputs.get());
            kind.bound(n, bound, inputs.get());
            std::stringstream printed;
            SystemInfoPTree::PrintPropertyTree(project, printed);
            const std::vector<std::string> values = PrintedValues(project);
            std::stringstream to_stream;
            BoundPrintToStream(values, to_stream);
            std::string to_string;
            BoundPrintToString(values, to_string);
            if (!(project == bound) || printed.str() != to_stream.str() ||
                printed.str() != to_string) {
                std::fprintf(stderr, "the bound of %s differs from the module at N = %zu\n",
                             kind.name, n);
                same = false;
            }
        }
    }
    return same;
}

void Register() {
    const std::initializer_list<std::int64_t> kSizes = {10, 1000, 100000};
    for (const Kind& kind : kKinds) {
        const std::string name = kind.name;
        for (const bool project : {true, false}) {
            Quendal::Bench::Register(
                "build/" + name + (project ? "/project" : "/bound"),
                [&kind, project](benchmark::State& state) { Build(state, kind, project); }, kSizes);
        }
        for (const auto& [side, label] :
             {std::pair{PrintSide::kProject, "/project"}, std::pair{PrintSide::kStream, "/bound"},
              std::pair{PrintSide::kString, "/string"}}) {
            Quendal::Bench::Register(
                "print/" + name + label,
                [&kind, side = side](benchmark::State& state) { Print(state, kind, side); },
                kSizes);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!BoundsMatchTheModule()) {
        return 1;
    }
    Register();
    return Quendal::Bench::Run(argc, argv);
}
