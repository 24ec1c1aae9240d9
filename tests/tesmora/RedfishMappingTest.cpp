// How Redfish resources become records: tables of resources, as lenient as real services need,
// and the fields each must give.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "redfish/Mapping.h"

namespace {

using Tesmora::CMMInventory;
using Tesmora::Redfish::Json;
namespace Redfish = Tesmora::Redfish;

Json Located(Json resource, const Json& ordinal) {
    resource["Location"] = {{"PartLocation", {{"LocationOrdinalValue", ordinal}}}};
    return resource;
}

TEST(RedfishMapping, ReadsTextsAndLinksLeniently) {
    const Json r = Json::parse(R"({
        "Name": "Blade 3", "Count": 3, "Ratio": 1.5, "Flag": true, "Null": null, "List": [1],
        "Status": {"State": "Enabled", "Health": null},
        "Self": {"@odata.id": "/redfish/v1/Chassis/1"}, "NumberId": {"@odata.id": 5},
        "Links": {"ManagedBy": {"@odata.id": "/m/1"},
                  "Contains": [{"@odata.id": "/c/1"}, {"Name": "x"}, {"@odata.id": 7}, null,
                               "/c/9", {"@odata.id": "/c/2"}]}})");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {Redfish::Text(r, {"Name"}), "Blade 3"},
        {Redfish::Text(r, {"Count"}), "3"},
        {Redfish::Text(r, {"Ratio"}), "1.5"},
        {Redfish::Text(r, {"Flag"}), ""},
        {Redfish::Text(r, {"Null"}), ""},
        {Redfish::Text(r, {"Absent"}), ""},
        {Redfish::Text(r, {"List"}), ""},
        {Redfish::Text(r, {"Status"}), ""},
        {Redfish::Text(r, {"Status", "State"}), "Enabled"},
        {Redfish::Text(r, {"Status", "Health"}), ""},
        {Redfish::Text(r, {"Status", "Absent"}), ""},
        {Redfish::Text(r, {"Name", "Inner"}), ""},
        {Redfish::Text(r, {"Links", "ManagedBy", "@odata.id"}), "/m/1"},
        {Redfish::Link(r, {"Self"}), "/redfish/v1/Chassis/1"},
        {Redfish::Link(r, {"Links", "ManagedBy"}), "/m/1"},
        {Redfish::Link(r, {"NumberId"}), ""},
        {Redfish::Link(r, {"Absent"}), ""},
        {Redfish::Link(r, {"Name"}), ""},
        {Redfish::Link(r, {"Links", "Contains"}), ""},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
    }
    EXPECT_EQ(Redfish::Links(r, {"Links", "Contains"}), (std::vector<std::string>{"/c/1", "/c/2"}));
    EXPECT_TRUE(Redfish::Links(r, {"Links", "ManagedBy"}).empty());
    EXPECT_TRUE(Redfish::Links(r, {"Absent"}).empty());
    EXPECT_TRUE(Redfish::Links(r, {"List"}).empty());
}

TEST(RedfishMapping, SoftwareIdentityFromAFirmwareInventoryMember) {
    struct Row {
        Json software;
        const char* software_id;
        const char* updateable;
        const char* state;
    };
    const std::vector<Row> rows = {
        {{{"SoftwareId", "FW-A"},
          {"Id", "bmc"},
          {"Updateable", true},
          {"Status", {{"State", "Enabled"}}}},
         "FW-A",
         "1",
         "Enabled"},
        {{{"SoftwareId", ""}, {"Id", "bmc"}, {"Updateable", false}}, "bmc", "0", ""},
        {{{"Id", "bmc"}, {"Status", {{"State", "StandbySpare"}}}}, "bmc", "0", "StandbySpare"},
        {{{"SoftwareId", nullptr}, {"Id", "bmc"}, {"Updateable", "true"}}, "bmc", "0", ""},
        {{{"Id", "bmc"}, {"Updateable", 1}, {"Status", "Enabled"}}, "bmc", "0", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.software.dump());
        const auto identity = Redfish::SoftwareIdentityFrom(row.software);
        EXPECT_EQ(identity.software_id, row.software_id);
        EXPECT_EQ(identity.is_pldm_update_supported, row.updateable);
        EXPECT_EQ(identity.software_status, row.state);
        EXPECT_EQ(identity.classifications, "10");
    }
    // What the tool's listings do not show.
    const auto full = Redfish::SoftwareIdentityFrom(Json::parse(R"({"Id": "BMC",
        "@odata.id": "/redfish/v1/UpdateService/FirmwareInventory/BMC",
        "Manufacturer": "Example Works", "ReleaseDate": "2023-05-01T00:00:00Z"})"));
    EXPECT_EQ(std::tie(full.instance_id, full.manufacturer, full.release_date),
              std::make_tuple("/redfish/v1/UpdateService/FirmwareInventory/BMC", "Example Works",
                              "2023-05-01T00:00:00Z"));
}

TEST(RedfishMapping, MachineTypeAndChassisInformation) {
    const Json system = {{"Model", "QX42-B1"}, {"SerialNumber", "SN0042"}, {"Name", "Node 1"}};
    // The machine type is cut from the model (the machine-type-model) as for an enclosure.
    EXPECT_EQ(Redfish::MachineTypeFrom(system),
              std::make_pair(std::string("QX42"), std::string("SN0042")));
    EXPECT_EQ(Redfish::MachineTypeOf({{"Model", "Q7"}}), "Q7");
    EXPECT_EQ(Redfish::MachineTypeFrom(Json::object()),
              std::make_pair(std::string(), std::string()));
    const Tesmora::ChassisInfo info = Redfish::ChassisInfoFrom(system);
    EXPECT_EQ(std::tie(info.MachineTypeModel, info.SerialNumber, info.Name),
              std::make_tuple("QX42-B1", "SN0042", "Node 1"));
}

TEST(RedfishMapping, SelectsTheEnclosureOnlyWhenTheChoiceIsClear) {
    const Json blade = {{"ChassisType", "Blade"}}, module = {{"ChassisType", "Module"}},
               rack = {{"ChassisType", "RackMount"}}, first = {{"ChassisType", "Enclosure"}},
               second = {{"ChassisType", "Enclosure"}, {"Id", "2"}}, shelf = {{"Id", "Shelf"}},
               tower = {{"ChassisType", "StandAlone"}},
               holds_system = {{"ChassisType", "Other"},
                               {"Links", {{"ComputerSystems", {{{"@odata.id", "/S/1"}}}}}}};
    const std::vector<std::pair<std::vector<const Json*>, const Json*>> rows = {
        {{&blade, &first, &second}, &first},
        {{&module, &second, &first}, &second},
        {{&shelf}, &shelf},
        // A server's own chassis is no enclosure, even alone.
        {{&rack}, nullptr},
        {{&tower}, nullptr},
        {{&holds_system}, nullptr},
        {{&blade, &module}, nullptr},
        {{}, nullptr},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Redfish::SelectEnclosure(rows[i].first), rows[i].second) << "row " << i;
    }
}

TEST(RedfishMapping, ManagersInStandbyAreTheSecondaryOnes) {
    struct Row {
        Json manager;
        bool standby;
    };
    const std::vector<Row> rows = {
        {{{"Status", {{"State", "StandbySpare"}}}}, true},
        {{{"Status", {{"State", "StandbyOffline"}}}}, true},
        {{{"Status", {{"State", "Enabled"}}}}, false},
        {{{"Status", {{"Health", "OK"}}}}, false},
        {Json::object(), false},
    };
    for (Row row : rows) {
        SCOPED_TRACE(row.manager.dump());
        EXPECT_EQ(Redfish::IsStandby(row.manager), row.standby);
        row.manager["FirmwareVersion"] = "2.10";
        const Tesmora::CMMData cmm = Redfish::CMMDataFrom(row.manager);
        EXPECT_EQ(cmm.IsSecondary, row.standby ? 1 : 0);
        EXPECT_EQ(cmm.FirmwareVersion, "2.10");
    }
    EXPECT_TRUE(Redfish::IsEnclosureManager({{"ManagerType", "EnclosureManager"}}));
    EXPECT_FALSE(Redfish::IsEnclosureManager({{"ManagerType", "BMC"}}));
}

TEST(RedfishMapping, PowerSuppliesTakeTheirBayFromTheOrdinalElseThePosition) {
    const Json named = {
        {"Name", "PSU 2"}, {"Model", "PW-900"}, {"Id", "2"}, {"FirmwareVersion", "7.1"}};
    struct Row {
        Json supply;
        std::size_t position;
        const char* id;  // nullptr: an empty bay, no record
        const char* slot;
    };
    const std::vector<Row> rows = {
        {{{"Status", {{"State", "Absent"}}}, {"Model", "PW-900"}}, 0, nullptr, nullptr},
        {Located(named, 2), 0, "PW-900", "3"},
        {Located(named, 0), 5, "PW-900", "1"},
        {named, 4, "PW-900", "5"},
        {Located(named, -1), 1, "PW-900", "2"},
        {Located(named, "2"), 1, "PW-900", "2"},
        {Located(named, 2.0), 1, "PW-900", "2"},
        {{{"Model", ""}, {"Id", "PS2"}, {"Status", {{"State", "Enabled"}}}}, 0, "PS2", "1"},
        {{{"MemberId", "0"}, {"Status", {{"State", "UnavailableOffline"}}}}, 2, "0", "3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.supply.dump());
        const std::optional<Tesmora::PSUFwInfo> psu =
            Redfish::PowerSupplyFrom(row.supply, row.position);
        ASSERT_EQ(psu.has_value(), row.id != nullptr);
        if (psu) {
            EXPECT_EQ(psu->id, row.id);
            EXPECT_EQ(psu->slot_num, row.slot);
        }
    }
}

TEST(RedfishMapping, IOModulesTheirBaysAndSwitchTypes) {
    const Json module = {{"ChassisType", "Module"}};
    const Json switches = {{"Switches", {{{"@odata.id", "/redfish/v1/Fabrics/F/Switches/1"}}}}};
    struct Row {
        Json chassis;
        bool io_module;
        std::optional<int> bay;
        int switch_type;
    };
    const int kSwitch = CMMInventory::kIOModuleSwitch,
              kPassThrough = CMMInventory::kPassThroughModule;
    const std::vector<Row> rows = {
        {Located(Json{{"ChassisType", "Module"}, {"Links", switches}}, 0), true, 1, kSwitch},
        {Located(Json{{"ChassisType", "Module"}, {"Links", {{"Switches", Json::array()}}}}, 3),
         true, 4, kPassThrough},
        {Located(Json{{"ChassisType", "Module"}, {"Links", {{"Switches", {{{"Name", "x"}}}}}}}, 1),
         true, 2, kPassThrough},
        {{{"ChassisType", "Enclosure"}}, false, std::nullopt, kPassThrough},
        {Located(module, -1), true, std::nullopt, kPassThrough},
        {Located(module, "2"), true, std::nullopt, kPassThrough},
        {Located(module, 2.0), true, std::nullopt, kPassThrough},
        {Located(module, 1000000), true, 1000001, kPassThrough},
        {Located(module, 1000001), true, std::nullopt, kPassThrough},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.chassis.dump());
        EXPECT_EQ(Redfish::IsIOModule(row.chassis), row.io_module);
        EXPECT_EQ(Redfish::BayOf(row.chassis), row.bay);
        EXPECT_EQ(Redfish::SwitchTypeOf(row.chassis), row.switch_type);
    }
}

TEST(RedfishMapping, IOModuleFirmwareAndWhatItRelatesTo) {
    const Json software =
        Json::parse(R"({"Id": "iom-fw", "SoftwareId": "IOMFW1", "Name": "Switch firmware",
        "Version": "8.3", "RelatedItem": [{"@odata.id": "/redfish/v1/Chassis/IOM1/"},
                                          {"@odata.id": "/redfish/v1/Fabrics/F/Switches/1#/Ports"}]})");
    const std::vector<std::pair<std::set<std::string>, bool>> rows = {
        {{"/redfish/v1/Chassis/IOM1"}, true},
        {{"/redfish/v1/Chassis/IOM2", "/redfish/v1/Fabrics/F/Switches/1"}, true},
        {{"/redfish/v1/Chassis/IOM2"}, false},
        {{}, false},
    };
    for (const auto& [resources, relates] : rows) {
        EXPECT_EQ(Redfish::RelatesTo(software, resources), relates) << resources.size();
    }
    EXPECT_FALSE(Redfish::RelatesTo({{"Id", "x"}}, {"/redfish/v1/Chassis/IOM1"}));
    EXPECT_FALSE(Redfish::RelatesTo({{"RelatedItem", {{"@odata.id", "/redfish/v1/Chassis/IOM1"}}}},
                                    {"/redfish/v1/Chassis/IOM1"}));

    for (const Json& fallback :
         {Json{{"Id", "iom-fw"}}, Json{{"Id", "iom-fw"}, {"SoftwareId", ""}}}) {
        EXPECT_EQ(Redfish::IOModuleFirmwareFrom(fallback).Id, "iom-fw");
        EXPECT_EQ(Redfish::IOModuleFirmwareFrom(fallback).PassThruIdPart3, "iom-fw");
    }
}

}  // namespace
