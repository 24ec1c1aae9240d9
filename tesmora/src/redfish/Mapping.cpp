#include "redfish/Mapping.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace Tesmora::Redfish {

namespace {

// Every property name read below, by the backend (NetworkBackend.cpp) or by the client; sorted.
constexpr std::string_view kMappedProperties[] = {
    "@Message.ExtendedInfo",
    "@odata.id",
    "@odata.type",
    "Chassis",
    "ChassisType",
    "ComputerSystems",
    "Contains",
    "Description",
    "ExpandAll",
    "ExpandQuery",
    "FirmwareInventory",
    "FirmwareVersion",
    "Id",
    "Levels",
    "Links",
    "Location",
    "LocationOrdinalValue",
    "ManagedBy",
    "ManagerType",
    "Managers",
    "Manufacturer",
    "MaxLevels",
    "MemberId",
    "Members",
    "Members@odata.nextLink",
    "Message",
    "Model",
    "Name",
    "NoLinks",
    "PartLocation",
    "PartNumber",
    "Power",
    "PowerSubsystem",
    "PowerSupplies",
    "ProtocolFeaturesSupported",
    "RedfishVersion",
    "RelatedItem",
    "ReleaseDate",
    "SelectQuery",
    "SerialNumber",
    "SessionService",
    "Sessions",
    "SoftwareId",
    "State",
    "Status",
    "Switches",
    "Systems",
    "UpdateService",
    "Updateable",
    "Version",
    "error",
    "message",
};

// The chassis types of a server's own chassis, which no enclosure manager answers for.
constexpr std::string_view kServerChassisTypes[] = {"Blade", "RackMount", "Sled", "StandAlone"};

// How many characters of a machine-type-model text are the machine type.
constexpr std::size_t kMachineTypeLength = 4;

// The firmware classification code the documents carry for every Redfish identity.
constexpr const char* kFirmware = "10";

const Json* At(const Json& resource, std::initializer_list<const char*> path) {
    const Json* node = &resource;
    for (const char* name : path) {
        if (!node->is_object()) {
            return nullptr;
        }
        const auto found = node->find(name);
        if (found == node->end()) {
            return nullptr;
        }
        node = &*found;
    }
    return node;
}

std::string LinkOf(const Json& link) {
    const Json* id = At(link, {"@odata.id"});
    return id != nullptr && id->is_string() ? id->get<std::string>() : std::string();
}

}  // namespace

bool IsMappedProperty(std::string_view name) {
    return std::binary_search(std::begin(kMappedProperties), std::end(kMappedProperties), name);
}

std::string SelectedProperties() {
    std::string list;
    for (const std::string_view name : kMappedProperties) {
        // Annotations come whatever is selected; lower-case names are inside error objects.
        if (name.find('@') == std::string_view::npos && !name.empty() &&
            std::isupper(static_cast<unsigned char>(name.front()))) {
            list += (list.empty() ? "" : ",") + std::string(name);
        }
    }
    return list;
}

std::string Text(const Json& resource, std::initializer_list<const char*> path) {
    const Json* node = At(resource, path);
    if (node == nullptr) {
        return std::string();
    }
    if (node->is_string()) {
        return node->get<std::string>();
    }
    if (node->is_number()) {
        return node->dump();
    }
    return std::string();
}

std::string Link(const Json& resource, std::initializer_list<const char*> path) {
    const Json* node = At(resource, path);
    return node != nullptr ? LinkOf(*node) : std::string();
}

std::vector<std::string> Links(const Json& resource, std::initializer_list<const char*> path) {
    std::vector<std::string> links;
    const Json* node = At(resource, path);
    if (node != nullptr && node->is_array()) {
        for (const Json& link : *node) {
            if (std::string id = LinkOf(link); !id.empty()) {
                links.push_back(std::move(id));
            }
        }
    }
    return links;
}

TSOptions::SoftwareIdentity_ SoftwareIdentityFrom(const Json& software) {
    TSOptions::SoftwareIdentity_ identity;
    identity.name = Text(software, {"Name"});
    identity.software_id = Text(software, {"SoftwareId"});
    if (identity.software_id.empty()) {
        identity.software_id = Text(software, {"Id"});
    }
    identity.version_string = Text(software, {"Version"});
    identity.description = Text(software, {"Description"});
    identity.manufacturer = Text(software, {"Manufacturer"});
    identity.release_date = Text(software, {"ReleaseDate"});
    identity.instance_id = Text(software, {"@odata.id"});
    identity.classifications = kFirmware;
    const Json* updateable = At(software, {"Updateable"});
    identity.is_pldm_update_supported =
        updateable != nullptr && updateable->is_boolean() && updateable->get<bool>() ? "1" : "0";
    identity.software_status = Text(software, {"Status", "State"});
    return identity;
}

std::string MachineTypeOf(const Json& resource) {
    return Text(resource, {"Model"}).substr(0, kMachineTypeLength);
}

std::pair<std::string, std::string> MachineTypeFrom(const Json& system) {
    return {MachineTypeOf(system), Text(system, {"SerialNumber"})};
}

std::string ServersOwnChassis(const Json& chassis) {
    const std::string type = Text(chassis, {"ChassisType"});
    if (std::find(std::begin(kServerChassisTypes), std::end(kServerChassisTypes), type) !=
        std::end(kServerChassisTypes)) {
        return "its ChassisType is " + type;
    }
    if (const std::vector<std::string> systems = Links(chassis, {"Links", "ComputerSystems"});
        !systems.empty()) {
        return "it holds the computer system " + systems.front();
    }
    return std::string();
}

const Json* SelectEnclosure(const std::vector<const Json*>& chassis) {
    for (const Json* candidate : chassis) {
        if (Text(*candidate, {"ChassisType"}) == "Enclosure") {
            return candidate;
        }
    }
    return chassis.size() == 1 && ServersOwnChassis(*chassis.front()).empty() ? chassis.front()
                                                                              : nullptr;
}

ChassisInfo ChassisInfoFrom(const Json& chassis) {
    ChassisInfo info;
    info.MachineTypeModel = Text(chassis, {"Model"});
    info.SerialNumber = Text(chassis, {"SerialNumber"});
    info.Name = Text(chassis, {"Name"});
    return info;
}

bool IsStandby(const Json& manager) {
    return Text(manager, {"Status", "State"}).rfind("Standby", 0) == 0;
}

bool IsEnclosureManager(const Json& manager) {
    return Text(manager, {"ManagerType"}) == "EnclosureManager";
}

CMMData CMMDataFrom(const Json& manager) {
    CMMData cmm;
    cmm.FirmwareVersion = Text(manager, {"FirmwareVersion"});
    cmm.IsSecondary = IsStandby(manager) ? 1 : 0;
    return cmm;
}

SMMFirmware SMMFirmwareFrom(const Json& manager) {
    SMMFirmware firmware;
    const std::string name = Text(manager, {"Name"});
    firmware.id = Text(manager, {"Id"});
    firmware.version = Text(manager, {"FirmwareVersion"});
    firmware.classification = kFirmware;
    firmware.description = "Firmware for " + name;
    firmware.name = name + " Firmware Software Identity Information";
    return firmware;
}

std::optional<PSUFwInfo> PowerSupplyFrom(const Json& supply, std::size_t position) {
    if (Text(supply, {"Status", "State"}) == "Absent") {
        return std::nullopt;
    }
    PSUFwInfo psu;
    psu.name = Text(supply, {"Name"});
    psu.id = Text(supply, {"Model"});
    if (psu.id.empty()) {
        psu.id = Text(supply, {"Id"});
    }
    if (psu.id.empty()) {
        psu.id = Text(supply, {"MemberId"});  // members embedded in the older Power resource
    }
    psu.version = Text(supply, {"FirmwareVersion"});
    const Json* ordinal = At(supply, {"Location", "PartLocation", "LocationOrdinalValue"});
    if (ordinal != nullptr && ordinal->is_number_integer() && ordinal->get<long long>() >= 0) {
        psu.slot_num = std::to_string(ordinal->get<long long>() + 1);
    } else {
        psu.slot_num = std::to_string(position + 1);
    }
    psu.description = "Firmware for " + psu.name;
    return psu;
}

bool IsIOModule(const Json& chassis) {
    return Text(chassis, {"ChassisType"}) == "Module";
}

std::optional<int> BayOf(const Json& module) {
    const Json* ordinal = At(module, {"Location", "PartLocation", "LocationOrdinalValue"});
    if (ordinal == nullptr || !ordinal->is_number_integer()) {
        return std::nullopt;
    }
    const long long value = ordinal->get<long long>();
    if (value < 0 || value > 1000000) {
        return std::nullopt;
    }
    return static_cast<int>(value) + 1;
}

int SwitchTypeOf(const Json& module) {
    return Links(module, {"Links", "Switches"}).empty() ? CMMInventory::kPassThroughModule
                                                        : CMMInventory::kIOModuleSwitch;
}

bool RelatesTo(const Json& software, const std::set<std::string>& resources) {
    for (const std::string& related : Links(software, {"RelatedItem"})) {
        if (resources.count(NormalisePath(related)) != 0) {
            return true;
        }
    }
    return false;
}

CIMIOFirmware IOModuleFirmwareFrom(const Json& software) {
    CIMIOFirmware firmware;
    firmware.Version = Text(software, {"Version"});
    firmware.Name = Text(software, {"Name"});
    firmware.Id = Text(software, {"SoftwareId"});
    if (firmware.Id.empty()) {
        firmware.Id = Text(software, {"Id"});
    }
    firmware.PassThruIdPart3 = firmware.Id;
    firmware.Classification = 10;
    return firmware;
}

CIMIOData IOModuleDataFrom(const Json& module, std::vector<CIMIOFirmware> firmware) {
    CIMIOData data;
    data.IsPassThrough = SwitchTypeOf(module) == CMMInventory::kPassThroughModule;
    data.PassThruIdPart1 = Text(module, {"Model"});
    data.PassThruIdPart2 = Text(module, {"PartNumber"});
    data.Firmware = std::move(firmware);
    return data;
}

}  // namespace Tesmora::Redfish
