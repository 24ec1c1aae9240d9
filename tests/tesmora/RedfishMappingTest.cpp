// How Redfish resources become records: the fallbacks and bounds that the mockups and fixtures
// behind the tool's cases (tests/redfish/tool_cases.py, whose listings pin each record) never hold.
#include <gtest/gtest.h>

#include <optional>
#include <string>
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
        {{{"SoftwareId", nullptr}, {"Id", "bmc"}, {"Updateable", "true"}}, "bmc", "0", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.software.dump());
        const auto identity = Redfish::SoftwareIdentityFrom(row.software);
        EXPECT_EQ(identity.software_id, row.software_id);
        EXPECT_EQ(identity.is_pldm_update_supported, row.updateable);
        EXPECT_EQ(identity.software_status, row.state);
        EXPECT_EQ(identity.classifications, "10");
    }
}

TEST(RedfishMapping, SelectsTheEnclosureOnlyWhenTheChoiceIsClear) {
    const Json blade = {{"ChassisType", "Blade"}}, module = {{"ChassisType", "Module"}},
               rack = {{"ChassisType", "RackMount"}}, first = {{"ChassisType", "Enclosure"}},
               second = {{"ChassisType", "Enclosure"}, {"Id", "2"}}, shelf = {{"Id", "Shelf"}},
               holds_system = {{"ChassisType", "Other"},
                               {"Links", {{"ComputerSystems", {{{"@odata.id", "/S/1"}}}}}}};
    const std::vector<std::pair<std::vector<const Json*>, const Json*>> rows = {
        {{&blade, &first, &second}, &first},
        {{&module, &second, &first}, &second},
        {{&shelf}, &shelf},
        // A server's own chassis is no enclosure, even alone.
        {{&rack}, nullptr},
        {{&holds_system}, nullptr},
        {{&blade, &module}, nullptr},
        {{}, nullptr},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(Redfish::SelectEnclosure(rows[i].first), rows[i].second) << "row " << i;
    }
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
        {{{"Model", ""}, {"Id", "PS2"}, {"Status", {{"State", "Enabled"}}}}, 0, "PS2", "1"},
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
        {{{"ChassisType", "Enclosure"}}, false, std::nullopt, kPassThrough},
        {Located(module, -1), true, std::nullopt, kPassThrough},
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

}  // namespace
