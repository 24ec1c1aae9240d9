#include "SystemInfo.h"

#include <array>
#include <cstdint>
#include <iterator>
#include <locale>
#include <optional>
#include <type_traits>
#include <utility>

#include "Src/Utility/SystemInfo/DocumentRules.h"

namespace pt = boost::property_tree;
using Tesmora::DriverData;
using Tesmora::PSUFwInfo;
using Tesmora::TSOptions::SoftwareIdentity_;

namespace {

constexpr const char* kPackagePath = "CONTENT.PACKAGES.PACKAGE";
constexpr const char* kDriverClassification = "22";

// Every key the builder writes, each as a child with an empty value. Appending a copy and then
// setting its value costs one node and one empty child list; building the pair for each child
// anew, as put and add_child do, costs that twice and parses a path besides. Made on first use,
// so that a caller's static initialiser may already build a document.
struct Keys {
    using Entry = pt::ptree::value_type;
    Entry content{"CONTENT", pt::ptree()};
    Entry mt{"MT", pt::ptree()};
    Entry sn{"SN", pt::ptree()};
    Entry bmc_type{"BMCTYPE", pt::ptree()};
    Entry os{"OS", pt::ptree()};
    Entry arch{"ARCH", pt::ptree()};
    Entry is_partition{"ISPARTITION", pt::ptree()};
    Entry total{"TOTAL", pt::ptree()};
    Entry packages{"PACKAGES", pt::ptree()};
    Entry package{"PACKAGE", pt::ptree()};
    Entry name{"NAME", pt::ptree()};
    Entry software_id{"SOFTWAREID", pt::ptree()};
    Entry version{"VERSION", pt::ptree()};
    Entry classification{"CLASSIFICATION", pt::ptree()};
    Entry description{"DESCRIPTION", pt::ptree()};
    Entry instance_id{"INSTANCEID", pt::ptree()};
    Entry slot_num{"SLOTNUM", pt::ptree()};
    Entry slot_type{"SLOTTYPE", pt::ptree()};
    Entry agentless{"AGENTLESSSUPPORT", pt::ptree()};
};

const Keys& TheKeys() {
    static const Keys keys;
    return keys;
}

// Appends key=value as the last child.
template <typename Value>
pt::ptree& Append(pt::ptree& node, const pt::ptree::value_type& key, Value&& value) {
    pt::ptree& child = node.push_back(key)->second;
    child.data() = std::forward<Value>(value);
    return child;
}

// What put does with a path of one step: the first child of that key, or a new last one.
pt::ptree& FindOrAppend(pt::ptree& node, const pt::ptree::value_type& key) {
    const auto found = node.find(key.first);
    return found != node.not_found() ? found->second : node.push_back(key)->second;
}

// Typed values (ISPARTITION of the first overloads, the chassis TOTAL, SLOTTYPE) are rendered by
// the tree's own stream translator under the global locale, as put has always rendered them: a
// grouping or a number format of the locale is part of the document.
template <typename Value>
void PutTyped(pt::ptree& child, const Value& value, const std::locale& locale) {
    child.put_value(
        value,
        pt::stream_translator<char, std::char_traits<char>, std::allocator<char>, Value>(locale));
}

// The scalars of CONTENT, overwritten in place in a tree that has them. ISPARTITION and TOTAL keep
// the value types each overload has always written (an int, a literal, a count), because the
// translator renders each of them on its own terms.
template <typename IsPartition, typename Total>
pt::ptree& PutScalars(pt::ptree& tree, const std::string& mt, const std::string& sn,
                      const std::string& bmc_type, const std::string& os, const std::string& arch,
                      const IsPartition& is_partition, const Total& total,
                      const std::locale& locale) {
    const Keys& keys = TheKeys();
    pt::ptree& content = FindOrAppend(tree, keys.content);
    FindOrAppend(content, keys.mt).data() = mt;
    FindOrAppend(content, keys.sn).data() = sn;
    FindOrAppend(content, keys.bmc_type).data() = bmc_type;
    FindOrAppend(content, keys.os).data() = os;
    FindOrAppend(content, keys.arch).data() = arch;
    pt::ptree& partition = FindOrAppend(content, keys.is_partition);
    if constexpr (std::is_same_v<IsPartition, int>) {
        PutTyped(partition, is_partition, locale);
    } else {
        partition.data() = is_partition;
    }
    pt::ptree& count = FindOrAppend(content, keys.total);
    if constexpr (std::is_same_v<Total, std::uint64_t>) {
        PutTyped(count, total, locale);
    } else {
        count.data() = total;
    }
    return content;
}

// TOTAL of the server and enclosure overloads: a count put as text, rendered by a string stream
// that takes the global locale, grouping included.
std::string CountText(std::uint64_t count, const std::locale& locale) {
    std::ostringstream text;
    text.imbue(locale);
    text << count;
    return text.str();
}

// Appends the finished packages of one call under CONTENT.PACKAGES. Each package is built apart
// and swapped into a freshly appended empty PACKAGE, so that an exception (bad_alloc) leaves
// every package in the tree whole; the emptied scratch tree takes the next package, so a
// package costs no more nodes than one filled in place.
class PackageList {
public:
    explicit PackageList(pt::ptree& content) : content_(content) {}

    // The package to fill next, empty.
    pt::ptree& Scratch() { return scratch_; }

    void AppendScratch() {
        const Keys& keys = TheKeys();
        if (packages_ == nullptr) {
            packages_ = &FindOrAppend(content_, keys.packages);
        }
        packages_->push_back(keys.package)->second.swap(scratch_);
    }

private:
    pt::ptree& content_;
    pt::ptree* packages_ = nullptr;
    pt::ptree scratch_;
};

// SLOTTYPE rendered as the translator renders it, through one string stream per call instead of
// one per package, and each value of the named range once.
class SlotTypeText {
public:
    explicit SlotTypeText(const std::locale& locale) : locale_(locale) {}

    void Put(pt::ptree& child, Tesmora::TSOptions::Slot_Type value) {
        const auto index = static_cast<std::size_t>(value);
        const bool named = value >= 0 && value < Tesmora::TSOptions::kSlotTypeCount;
        if (named && rendered_[index]) {
            child.data() = *rendered_[index];
            return;
        }
        if (!stream_) {
            stream_.emplace();
            stream_->imbue(locale_);
        }
        stream_->str(std::string());
        stream_->clear();
        *stream_ << value;
        if (!*stream_) {
            // Let the translator fail as it always has, with its own exception.
            PutTyped(child, value, locale_);
            return;
        }
        child.data() = stream_->str();
        if (named) {
            rendered_[index] = child.data();
        }
    }

private:
    const std::locale& locale_;
    std::optional<std::ostringstream> stream_;
    std::optional<std::string> rendered_[Tesmora::TSOptions::kSlotTypeCount];
};

// The descriptions pass through the class's private filter, which the caller hands in.
void AddIdentityPackages(const std::vector<SoftwareIdentity_>& identities, PackageList& list,
                         void (*printable)(std::string&), const std::locale& locale) {
    if (identities.empty()) {
        return;
    }
    const Keys& keys = TheKeys();
    const auto& ctype = std::use_facet<std::ctype<char>>(locale);
    SlotTypeText slot_types(locale);
    for (const auto& identity : identities) {
        std::string description = identity.description;
        printable(description);
        pt::ptree& package = list.Scratch();
        Append(package, keys.name, identity.name);
        Append(package, keys.software_id, identity.software_id);
        Append(package, keys.version, identity.version_string);
        Append(package, keys.classification, identity.classifications);
        Append(package, keys.description, std::move(description));
        Append(package, keys.instance_id, identity.instance_id);
        Append(package, keys.slot_num, identity.associated_adapter_slot);
        slot_types.Put(package.push_back(keys.slot_type)->second, identity.slot_type);
        if (Quendal::Document::IsAgentlessComponent(identity.software_id, ctype)) {
            Append(package, keys.agentless, "1");
        } else {
            Append(package, keys.agentless, identity.is_pldm_update_supported);
        }
        list.AppendScratch();
    }
}

void AddDriverPackages(const std::vector<DriverData>& drivers, PackageList& list,
                       void (*printable)(std::string&)) {
    const Keys& keys = TheKeys();
    for (const auto& driver : drivers) {
        std::string description = driver.description;
        printable(description);
        pt::ptree& package = list.Scratch();
        Append(package, keys.name, driver.name);
        Append(package, keys.software_id, driver.name);
        Append(package, keys.version, driver.version);
        Append(package, keys.classification, kDriverClassification);
        Append(package, keys.description, std::move(description));
        list.AppendScratch();
    }
}

const std::string kEmpty;

}  // namespace

SystemInfoPTree::SystemInfoPTree() = default;

// The defaulted assignment operators stay trivial, yet callers of the library expect to find
// them in its export list; naming them here makes the compiler emit them in this library.
[[gnu::used]] static SystemInfoPTree& (SystemInfoPTree::*const kKeepPTreeCopyAssign)(
    const SystemInfoPTree&) = &SystemInfoPTree::operator=;
[[gnu::used]] static SystemInfoPTree& (SystemInfoPTree::*const kKeepPTreeMoveAssign)(
    SystemInfoPTree&&) = &SystemInfoPTree::operator=;

// Each call reads the global locale once: the tree's translator and the agentless test have
// always used the global locale, which callers must not change while a document is built.

void SystemInfoPTree::GenerateSystemInfoPTree(const OSInfo& os_info,
                                              const MachineType& machine_type,
                                              const std::vector<DriverData>& drivers,
                                              const std::vector<SoftwareIdentity_>& identities,
                                              pt::ptree& tree, const std::string& bmc_type) {
    const std::locale locale;
    PackageList list(PutScalars(tree, machine_type.first, machine_type.second, bmc_type,
                                os_info.first, os_info.second, 0,
                                CountText(identities.size() + drivers.size(), locale), locale));
    AddIdentityPackages(identities, list, &ChangeToPrintableString, locale);
    AddDriverPackages(drivers, list, &ChangeToPrintableString);
}

void SystemInfoPTree::GenerateSystemInfoPTree(const OSInfo& os_info,
                                              const MachineType& machine_type,
                                              const std::vector<SoftwareIdentity_>& identities,
                                              pt::ptree& tree, const std::string& bmc_type) {
    const std::locale locale;
    PackageList list(PutScalars(tree, machine_type.first, machine_type.second, bmc_type,
                                os_info.first, os_info.second, 0,
                                CountText(identities.size(), locale), locale));
    AddIdentityPackages(identities, list, &ChangeToPrintableString, locale);
}

void SystemInfoPTree::GenerateSystemInfoPTree(const MachineType& machine_type,
                                              const std::vector<SoftwareIdentity_>& identities,
                                              pt::ptree& tree, const std::string& bmc_type) {
    const std::locale locale;
    PackageList list(PutScalars(tree, machine_type.first, machine_type.second, bmc_type, "None",
                                "None", "0", CountText(identities.size(), locale), locale));
    AddIdentityPackages(identities, list, &ChangeToPrintableString, locale);
}

void SystemInfoPTree::GenerateSystemInfoPTree(const SMMInfo& smm_info,
                                              const std::vector<PSUFwInfo>& psu_list,
                                              pt::ptree& tree, const std::string& bmc_type) {
    const std::locale locale;
    PackageList list(PutScalars(tree, smm_info.mt, smm_info.sn, bmc_type, "None", "None", "0",
                                CountText(psu_list.size() + 1, locale), locale));
    const Keys& keys = TheKeys();

    std::string description = smm_info.description;
    ChangeToPrintableString(description);
    pt::ptree& smm_package = list.Scratch();
    Append(smm_package, keys.software_id, smm_info.id);
    Append(smm_package, keys.version, smm_info.version);
    Append(smm_package, keys.classification, smm_info.classification);
    Append(smm_package, keys.description, std::move(description));
    Append(smm_package, keys.name, smm_info.name);
    list.AppendScratch();

    for (const auto& psu : psu_list) {
        pt::ptree& package = list.Scratch();
        Append(package, keys.software_id, psu.id);
        Append(package, keys.version, psu.version);
        Append(package, keys.classification, smm_info.classification);
        Append(package, keys.description, psu.description);
        Append(package, keys.name, psu.description);
        Append(package, keys.slot_num, psu.slot_num);
        list.AppendScratch();
    }
}

namespace {

// Shared by the CMM and switch overloads; the caller hands the private filter in.
template <typename ChassisRecord>
void GenerateChassisTree(const std::vector<ChassisRecord>& records, pt::ptree& tree,
                         const std::string& bmc_type, void (*printable)(std::string&)) {
    const std::locale locale;
    const std::string& mt = records.empty() ? kEmpty : records.front().mt;
    const std::string& sn = records.empty() ? kEmpty : records.front().sn;
    PackageList list(PutScalars(tree, mt, sn, bmc_type, "None", "None", "0",
                                static_cast<std::uint64_t>(records.size()), locale));
    const Keys& keys = TheKeys();
    for (const auto& record : records) {
        std::string description = record.description;
        printable(description);
        pt::ptree& package = list.Scratch();
        Append(package, keys.name, record.name);
        Append(package, keys.software_id, record.id);
        Append(package, keys.version, record.version);
        Append(package, keys.classification, record.classification);
        Append(package, keys.description, std::move(description));
        list.AppendScratch();
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
    struct Line {
        std::string key;
        const char* label;     // as written behind the indent
        std::string indented;  // indent and label, written at once
    };
    static const Line kLines[] = {
        {"NAME", "NAME:  \t", "    NAME:  \t"},
        {"SOFTWAREID", "SOFTWAREID:  \t", "    SOFTWAREID:  \t"},
        {"VERSION", "VERSION:  \t", "    VERSION:  \t"},
        {"CLASSIFICATION", "CLASSIFICATION:  \t", "    CLASSIFICATION:  \t"},
        {"DESCRIPTION", "DESCRIPTION:  \t", "    DESCRIPTION:  \t"},
    };

    constexpr std::size_t kLineCount = std::size(kLines);
    // The printed keys differ in length, so the length of a key names the one line it can be.
    static const auto kLineOfLength = [] {
        std::array<int, 32> line_of;
        line_of.fill(-1);
        for (std::size_t index = 0; index < kLineCount; ++index) {
            line_of[kLines[index].key.size()] = static_cast<int>(index);
        }
        return line_of;
    }();

    // std::endl's flush reaches nothing when the stream writes into its own string buffer, whose
    // sync does nothing, and is tied to no other stream: then it is left out, and the newline
    // alone written. Otherwise every line is flushed as it always was.
    const bool flush_reaches_nothing = out.tie() == nullptr && out.std::ios::rdbuf() == out.rdbuf();

    // Asked first so that a document without packages fails before anything is written.
    tree.get_child(kPackagePath);
    // The nodes that path went through: each step of a path is a find.
    const pt::ptree& packages = tree.find("CONTENT")->second.find("PACKAGES")->second;
    for (const auto& [key, package] : packages) {
        if (key != "PACKAGE") {
            continue;
        }
        // One walk over the package finds each printed key where it is the only child of that
        // key, mostly by its length; searching the key index for each line costs whole string
        // comparisons down the index, the larger part of a line.
        const pt::ptree* only[kLineCount] = {};
        bool repeated[kLineCount] = {};
        for (const auto& [child_key, child] : package) {
            const int index =
                child_key.size() < kLineOfLength.size() ? kLineOfLength[child_key.size()] : -1;
            if (index >= 0 && child_key == kLines[index].key) {
                repeated[index] = only[index] != nullptr;
                only[index] = &child;
            }
        }
        for (std::size_t index = 0; index < kLineCount; ++index) {
            const Line& line = kLines[index];
            // What get<std::string> finds for a key without dots: the child found above when
            // it is the only one, else the index decides which of several it is; a missing key
            // is asked again through the path, which throws the same ptree_bad_path naming it.
            const std::string* value =
                only[index] != nullptr && !repeated[index] ? &only[index]->data() : nullptr;
            if (value == nullptr) {
                const auto found = package.find(line.key);
                value = found != package.not_found()
                            ? &found->second.data()
                            : &package.get_child(pt::ptree::path_type(line.key)).data();
            }
            // A field width the caller left on the stream pads the first insertion only, as it
            // did when the indent was inserted on its own.
            if (out.width() == 0) {
                out.write(line.indented.data(), static_cast<std::streamsize>(line.indented.size()));
            } else {
                out << "    " << line.label;
            }
            out.write(value->data(), static_cast<std::streamsize>(value->size()));
            if (flush_reaches_nothing) {
                out.put('\n');
            } else {
                out << std::endl;
            }
        }
    }
}

void SystemInfoPTree::ChangeToPrintableString(std::string& text) {
    Quendal::Document::KeepPrintableBytes(text);
}
