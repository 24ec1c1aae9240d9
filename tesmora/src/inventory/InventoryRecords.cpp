#include "InventoryReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace Tesmora::inventory {

std::string PointerStep(const std::string& key) {
    std::string step = "/";
    for (const char c : key) {
        if (c == '~') {
            step += "~0";
        } else if (c == '/') {
            step += "~1";
        } else {
            step += c;
        }
    }
    return step;
}

std::string Describe(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::boolean:
            return "a boolean";
        case Json::value_t::string:
            return "a string";
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
            return "an integer";
        case Json::value_t::number_float:
            return "a floating-point number";
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "an array";
        default:
            return "something else";
    }
}

bool IsRemark(const std::string& key) {
    return key == "comment" || (!key.empty() && key.front() == '_');
}

namespace {

// The library calls a host of each kind can be told to fail, and whether their result is one
// of the library's four-valued result enumerations (0 to 3) rather than a free integer.
struct CallName {
    const char* name;
    EndpointKind kind;
    bool enumerated;
};

constexpr CallName kCallNames[] = {
    {"IsCMM", EndpointKind::kCMM, false},
    {"GetChassisInfo", EndpointKind::kCMM, false},
    {"GetCMMData", EndpointKind::kCMM, false},
    {"GetSwitchType", EndpointKind::kCMM, false},
    {"GetIOModuleDataByBayID", EndpointKind::kCMM, false},
    {"GetPassThruData", EndpointKind::kCMM, false},
    {"GetSmmMT", EndpointKind::kSMM, true},
    {"GetSmmSN", EndpointKind::kSMM, true},
    {"GetSmmFirmware", EndpointKind::kSMM, true},
    {"GetPSUFirmware", EndpointKind::kSMM, true},
    {"GetMachineType", EndpointKind::kBMC, true},
    {"GetPLDMSoftwareIdentities", EndpointKind::kBMC, false},
    {"osinfoGetVersion", EndpointKind::kESXi, true},
};

constexpr int kLastEnumeratedCode = 3;

struct KindName {
    const char* name;
    EndpointKind kind;
};

constexpr KindName kKindNames[] = {
    {"cmm", EndpointKind::kCMM},
    {"smm", EndpointKind::kSMM},
    {"bmc", EndpointKind::kBMC},
    {"esxi", EndpointKind::kESXi},
};

const char* NameOf(EndpointKind kind) {
    for (const KindName& entry : kKindNames) {
        if (entry.kind == kind) {
            return entry.name;
        }
    }
    return "?";
}

using IdentityText = std::string TSOptions::SoftwareIdentity_::*;

struct IdentityMember {
    const char* name;
    IdentityText member;
};

constexpr IdentityMember kIdentityTexts[] = {
    {"description", &TSOptions::SoftwareIdentity_::description},
    {"element_name", &TSOptions::SoftwareIdentity_::element_name},
    {"product_name", &TSOptions::SoftwareIdentity_::product_name},
    {"manufacturer", &TSOptions::SoftwareIdentity_::manufacturer},
    {"name", &TSOptions::SoftwareIdentity_::name},
    {"version_string", &TSOptions::SoftwareIdentity_::version_string},
    {"classifications", &TSOptions::SoftwareIdentity_::classifications},
    {"classification_descriptions", &TSOptions::SoftwareIdentity_::classification_descriptions},
    {"identity_info_value", &TSOptions::SoftwareIdentity_::identity_info_value},
    {"software_id", &TSOptions::SoftwareIdentity_::software_id},
    {"subdevice_id", &TSOptions::SoftwareIdentity_::subdevice_id},
    {"release_date", &TSOptions::SoftwareIdentity_::release_date},
    {"software_status", &TSOptions::SoftwareIdentity_::software_status},
    {"software_role", &TSOptions::SoftwareIdentity_::software_role},
    {"identity_info_type", &TSOptions::SoftwareIdentity_::identity_info_type},
    {"is_pldm_update_supported", &TSOptions::SoftwareIdentity_::is_pldm_update_supported},
    {"instance_id", &TSOptions::SoftwareIdentity_::instance_id},
    {"associated_adapter_slot", &TSOptions::SoftwareIdentity_::associated_adapter_slot},
    {"last_update_error", &TSOptions::SoftwareIdentity_::last_update_error},
    {"last_update_error_string", &TSOptions::SoftwareIdentity_::last_update_error_string},
    {"target_device", &TSOptions::SoftwareIdentity_::target_device},
};

CIMIOFirmware ReadModuleFirmware(const Reader& reader, const Json& value, const std::string& path) {
    const Members members(reader, value, path,
                          {"id", "name", "version", "pass_through_id_part3", "classification"});
    CIMIOFirmware firmware;
    firmware.Id = members.Text("id");
    firmware.Name = members.Text("name");
    firmware.Version = members.Text("version");
    firmware.PassThruIdPart3 = members.Text("pass_through_id_part3");
    firmware.Classification = members.Integer("classification", -1);
    return firmware;
}

CIMIOData ReadModule(const Reader& reader, const Json& value, const std::string& path) {
    const Members members(reader, value, path,
                          {"pass_through", "id_part1", "id_part2", "firmware"});
    CIMIOData module;
    module.IsPassThrough = members.Flag("pass_through");
    module.PassThruIdPart1 = members.Text("id_part1");
    module.PassThruIdPart2 = members.Text("id_part2");
    members.EachElement("firmware", [&](const Json& element, const std::string& element_path) {
        module.Firmware.push_back(ReadModuleFirmware(reader, element, element_path));
    });
    return module;
}

int BayNumber(const Reader& reader, const std::string& key, const std::string& path) {
    // Leading zeros would let "1" and "01" name the same bay.
    const bool digits =
        !key.empty() && key.size() <= 9 && (key.size() == 1 || key[0] != '0') &&
        std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits) {
        reader.Fail(path, "expected a bay number in decimal digits");
    }
    return std::stoi(key);
}

ChassisBay ReadBay(const Reader& reader, const Json& value, const std::string& path) {
    const Members members(reader, value, path, {"kind", "modules"});
    ChassisBay bay;
    const std::string kind_path = members.PathOf("kind");
    const std::string kind = reader.Text(members.Required("kind"), kind_path);
    if (kind == "io-module") {
        bay.switch_type = CMMInventory::kIOModuleSwitch;
    } else if (kind == "pass-through") {
        bay.switch_type = CMMInventory::kPassThroughModule;
    } else {
        reader.Fail(kind_path,
                    "unknown bay kind \"" + kind + "\" (expected io-module or pass-through)");
    }
    members.EachElement("modules", [&](const Json& element, const std::string& element_path) {
        bay.modules.push_back(ReadModule(reader, element, element_path));
    });
    return bay;
}

void ReadChassis(const Reader& reader, const Members& host, InventoryEndpoint& endpoint) {
    if (const Json* chassis = host.Find("chassis")) {
        const Members members(reader, *chassis, host.PathOf("chassis"),
                              {"machine_type_model", "serial_number", "name"});
        endpoint.chassis.MachineTypeModel = members.Text("machine_type_model");
        endpoint.chassis.SerialNumber = members.Text("serial_number");
        endpoint.chassis.Name = members.Text("name");
    }
    host.EachElement("cmms", [&](const Json& element, const std::string& path) {
        const Members members(reader, element, path,
                              {"firmware_version", "secondary", "build_id", "release_date"});
        CMMData cmm;
        cmm.FirmwareVersion = members.Text("firmware_version");
        cmm.IsSecondary = members.Flag("secondary") ? 1 : 0;
        cmm.BuildId = members.Text("build_id");
        cmm.ReleaseDate = members.Text("release_date");
        endpoint.cmms.push_back(std::move(cmm));
    });
    host.EachMember("bays",
                    [&](const std::string& key, const Json& value, const std::string& path) {
                        endpoint.bays[BayNumber(reader, key, path)] = ReadBay(reader, value, path);
                    });
}

void ReadEnclosure(const Reader& reader, const Members& host, InventoryEndpoint& endpoint) {
    if (const Json* firmware = host.Find("firmware")) {
        const Members members(reader, *firmware, host.PathOf("firmware"),
                              {"id", "version", "classification", "description", "name"});
        endpoint.smm_firmware.id = members.Text("id");
        endpoint.smm_firmware.version = members.Text("version");
        endpoint.smm_firmware.classification = members.Text("classification");
        endpoint.smm_firmware.description = members.Text("description");
        endpoint.smm_firmware.name = members.Text("name");
    }
    host.EachElement("power_supplies", [&](const Json& element, const std::string& path) {
        const Members members(reader, element, path,
                              {"name", "id", "version", "slot_num", "description"});
        PSUFwInfo supply;
        supply.name = members.Text("name");
        supply.id = members.Text("id");
        supply.version = members.Text("version");
        supply.slot_num = members.Text("slot_num");
        supply.description = members.Text("description");
        endpoint.power_supplies.push_back(std::move(supply));
    });
}

// The records are the bulk of a large inventory, so each member of one is looked up once, by
// name, instead of every accepted name being searched for in the object, and a path is only
// spelled out for an error. The errors are those Members gives, in the same order: an unknown
// member first (in the object's order), then a value of the wrong type (in the record's order).
// Fills identity, a new record already in its list (the load fails whole if this throws);
// path() names the value.
template <typename Path>
void ReadIdentityInto(const Reader& reader, const Json& value, const Path& path,
                      TSOptions::SoftwareIdentity_& identity) {
    constexpr std::size_t kTexts = std::size(kIdentityTexts);
    constexpr std::size_t kSlotType = kTexts;
    // Built from the table so that the accepted names are exactly the record's members.
    static const std::vector<std::pair<std::string_view, std::size_t>> kByName = [] {
        std::vector<std::pair<std::string_view, std::size_t>> names;
        for (std::size_t index = 0; index < kTexts; ++index) {
            names.emplace_back(kIdentityTexts[index].name, index);
        }
        names.emplace_back("slot_type", std::size_t{kSlotType});
        std::sort(names.begin(), names.end());
        return names;
    }();

    if (!value.is_object()) {
        reader.Expect(value, false, "an object", path());
    }
    const Json* found[kTexts + 1] = {};
    for (const auto& [key, member] : value.get_ref<const Json::object_t&>()) {
        const auto entry = std::lower_bound(
            kByName.begin(), kByName.end(), std::string_view(key),
            [](const auto& named, std::string_view name) { return named.first < name; });
        if (entry != kByName.end() && entry->first == key) {
            found[entry->second] = &member;
        } else if (!IsRemark(key)) {
            reader.Fail(path() + PointerStep(key), "unknown member");
        }
    }
    for (std::size_t index = 0; index < kTexts; ++index) {
        const Json* member = found[index];
        if (member == nullptr) {
            continue;
        }
        const IdentityMember& entry = kIdentityTexts[index];
        if (const auto* text = member->get_ptr<const Json::string_t*>()) {
            identity.*entry.member = *text;
        } else {
            identity.*entry.member = reader.Text(*member, path() + PointerStep(entry.name));
        }
    }
    if (const Json* slot_type = found[kSlotType]) {
        const std::optional<int> number = Reader::AsInt(*slot_type);
        identity.slot_type = static_cast<TSOptions::Slot_Type>(
            number ? *number : reader.Integer(*slot_type, path() + PointerStep("slot_type")));
    }
}

void ReadFailures(const Reader& reader, const Members& host, InventoryEndpoint& endpoint) {
    host.EachMember(
        "failures", [&](const std::string& call, const Json& value, const std::string& path) {
            const CallName* known = nullptr;
            std::string choices;
            for (const CallName& entry : kCallNames) {
                if (entry.kind != endpoint.kind) {
                    continue;
                }
                choices += choices.empty() ? "" : ", ";
                choices += entry.name;
                if (call == entry.name) {
                    known = &entry;
                }
            }
            if (known == nullptr) {
                reader.Fail(path, std::string("unknown call name for a ") + NameOf(endpoint.kind) +
                                      " endpoint (expected one of " + choices + ")");
            }
            const int code = reader.Integer(value, path);
            // Those libraries hand out enumerators; a number outside the enumeration could not
            // come from them.
            if (known->enumerated && (code < 0 || code > kLastEnumeratedCode)) {
                reader.Fail(path, "expected a result code from 0 to " +
                                      std::to_string(kLastEnumeratedCode) + ", found " +
                                      std::to_string(code));
            }
            endpoint.failures[call] = code;
        });
}

}  // namespace

InventoryEndpoint ReadHost(const Reader& reader, const Json& value, const std::string& path) {
    reader.Expect(value, value.is_object(), "an object", path);
    const auto kind_member = value.find("kind");
    if (kind_member == value.end()) {
        reader.Fail(path, "missing member \"kind\"");
    }
    const std::string kind_path = path + "/kind";
    const std::string kind = reader.Text(*kind_member, kind_path);
    const KindName* kind_entry =
        std::find_if(std::begin(kKindNames), std::end(kKindNames),
                     [&](const KindName& entry) { return kind == entry.name; });
    if (kind_entry == std::end(kKindNames)) {
        reader.Fail(kind_path,
                    "unknown endpoint kind \"" + kind + "\" (expected cmm, smm, bmc or esxi)");
    }

    InventoryEndpoint endpoint;
    endpoint.kind = kind_entry->kind;
    const std::vector<const char*> cmm = {"kind",    "credentials", "failures",
                                          "chassis", "cmms",        "bays"};
    const std::vector<const char*> smm = {"kind",          "credentials",   "failures",
                                          "machine_type",  "serial_number", "firmware",
                                          "power_supplies"};
    const std::vector<const char*> bmc = {"kind",         "credentials",   "failures",
                                          "machine_type", "serial_number", "identities"};
    const std::vector<const char*> esxi = {"kind",    "credentials", "failures",
                                           "version", "build",       "architecture"};
    const Members host(reader, value, path,
                       endpoint.kind == EndpointKind::kCMM   ? cmm
                       : endpoint.kind == EndpointKind::kSMM ? smm
                       : endpoint.kind == EndpointKind::kBMC ? bmc
                                                             : esxi);

    if (const Json* credentials = host.Find("credentials")) {
        const Members members(reader, *credentials, host.PathOf("credentials"),
                              {"user", "password"});
        endpoint.credentials = InventoryCredentials{
            reader.Text(members.Required("user"), members.PathOf("user")),
            reader.Text(members.Required("password"), members.PathOf("password"))};
    }
    ReadFailures(reader, host, endpoint);

    switch (endpoint.kind) {
        case EndpointKind::kCMM:
            ReadChassis(reader, host, endpoint);
            break;
        case EndpointKind::kSMM:
            endpoint.machine_type = host.Text("machine_type");
            endpoint.serial_number = host.Text("serial_number");
            ReadEnclosure(reader, host, endpoint);
            break;
        case EndpointKind::kBMC:
            endpoint.machine_type = host.Text("machine_type");
            endpoint.serial_number = host.Text("serial_number");
            // The records are the bulk of a large inventory; growing the list step by step
            // would hold two copies of it at the last step.
            if (const Json* identities = host.Find("identities")) {
                const std::string path = host.PathOf("identities");
                reader.Expect(*identities, identities->is_array(), "an array", path);
                endpoint.identities.reserve(identities->size());
                for (std::size_t index = 0; index < identities->size(); ++index) {
                    ReadIdentityInto(
                        reader, (*identities)[index],
                        [&] { return path + "/" + std::to_string(index); },
                        endpoint.identities.emplace_back());
                }
            }
            break;
        case EndpointKind::kESXi:
            endpoint.os.version = host.Text("version");
            endpoint.os.build = host.Text("build");
            endpoint.os.architecture = host.Integer("architecture", 0);
            break;
    }
    return endpoint;
}

}  // namespace Tesmora::inventory
