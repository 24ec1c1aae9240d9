#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tesmora/Backend.h"
#include "tesmora/DefaultBackend.h"
#include "tesmora/Inventory.h"

#ifndef QUENDAL_SOURCE_DIR
#error "QUENDAL_SOURCE_DIR must name the repository root"
#endif

namespace {

namespace fs = std::filesystem;
using Tesmora::EndpointKind;
using Tesmora::Inventory;
using Connection = Tesmora::TesmoraConnection::ConnectionInfo;

// what() of the InventoryError the call throws; empty when it throws none.
template <typename Call>
std::string ErrorOf(Call call) {
    try {
        call();
    } catch (const Tesmora::InventoryError& error) {
        return error.what();
    }
    return std::string();
}

struct BadInventory {
    const char* text;
    const char* message;  // what() after "bad.json"
};

TEST(InventoryParse, NamesFileAndPlaceOfEveryMistake) {
    const BadInventory cases[] = {
        {"{\n  \"hosts\": [1,,2]\n}",
         ":2:15: syntax error while parsing value - unexpected ','; expected '[', '{', or a "
         "literal"},
        // The place is the line the literal breaks off on, and the text read is left out: it
        // could be part of a password.
        {"{\"hosts\": {\"h\": tru\n}}",
         ":1:20: syntax error while parsing value - invalid literal"},
        {R"({"hosts": {"h": {"kind": "cmm", "credentials": {"user": "u", "password": "se\qret"}}}})",
         ":1:78: syntax error while parsing value - invalid string: forbidden character after "
         "backslash"},
        {"{}", ": at the top level: missing member \"hosts\""},
        {R"({"hosts": {"h": {"kind": "cmm", "cmms": [{}, {"secondary": "yes"}]}}})",
         ": at /hosts/h/cmms/1/secondary: expected a boolean, found a string"},
        {R"({"hosts": {"h": {"kind": "router"}}})",
         ": at /hosts/h/kind: unknown endpoint kind \"router\" (expected cmm, smm, bmc or esxi)"},
        {R"({"hosts": {"h": {"kind": "smm", "failures": {"GetCMMData": 1}}}})",
         ": at /hosts/h/failures/GetCMMData: unknown call name for a smm endpoint (expected one "
         "of GetSmmMT, GetSmmSN, GetSmmFirmware, GetPSUFirmware)"},
        {R"({"hosts": {"h": {"kind": "esxi", "failures": {"osinfoGetVersion": 7}}}})",
         ": at /hosts/h/failures/osinfoGetVersion: expected a result code from 0 to 3, found 7"},
        {R"({"hosts": {"h": {"kind": "cmm", "chasis": {}}}})",
         ": at /hosts/h/chasis: unknown member"},
        {R"({"hosts": {"h": {"kind": "bmc", "cmms": []}}})", ": at /hosts/h/cmms: unknown member"},
        {R"({"hosts": {"h": {"kind": "bmc", "identities": [{"slot": 7}]}}})",
         ": at /hosts/h/identities/0/slot: unknown member"},
        {R"({"hosts": {"h": {"kind": "cmm", "bays": {"01": {"kind": "io-module"}}}}})",
         ": at /hosts/h/bays/01: expected a bay number in decimal digits"},
        {R"({"hosts": {"h": {"kind": "cmm", "bays": {"1": {"kind": "switch"}}}}})",
         ": at /hosts/h/bays/1/kind: unknown bay kind \"switch\" (expected io-module or "
         "pass-through)"},
        {R"({"hosts": {"h": {"kind": "esxi"}, "h": {"kind": "smm"}}})",
         ": at /hosts/h: member repeated"},
        {R"({"hosts": {"fe80::1/64": {"kind": 1}}})",
         ": at /hosts/fe80::1~164/kind: expected a string, found an integer"},
        {R"({"hosts": {"h": {"kind": "esxi", "architecture": 4294967296}}})",
         ": at /hosts/h/architecture: expected an integer, found one out of range"},
        {R"({"hosts": {"h": {"kind": "smm", "credentials": {"user": "u"}}}})",
         ": at /hosts/h/credentials: missing member \"password\""},
    };
    for (const BadInventory& bad : cases) {
        EXPECT_EQ(ErrorOf([&] { Inventory::Parse(bad.text, "bad.json"); }),
                  std::string("bad.json") + bad.message)
            << bad.text;
    }
}

// Every host of one kind; all of them ask for the same credentials.
constexpr const char* kInventory = R"({
  "_comment": "remarks are allowed at every level",
  "hosts": {
    "198.51.100.1": {"kind": "cmm", "credentials": {"user": "admin", "password": "s3cret"},
      "chassis": {"machine_type_model": "8721HC1", "serial_number": "CH01", "name": "A1"},
      "cmms": [{"firmware_version": "2.5.0"}, {"firmware_version": "2.4.9", "secondary": true}],
      "bays": {
        "1": {"kind": "io-module", "modules": [{"firmware": [{"id": "SW  ", "version": "7.8"}]}]},
        "3": {"kind": "pass-through", "modules": [{"pass_through": true, "id_part1": "PTM",
              "firmware": [{"pass_through_id_part3": "14P", "classification": 10}]}]}}},
    "198.51.100.2": {"kind": "smm", "credentials": {"user": "admin", "password": "s3cret"},
      "machine_type": "7M14", "serial_number": "EN01", "power_supplies": [{"name": "PSU 1"}]},
    "198.51.100.3": {"kind": "bmc", "credentials": {"user": "admin", "password": "s3cret"},
      "machine_type": "7X06", "serial_number": "J30",
      "identities": [{"software_id": "MGMTCTL-G3-PRIMARY", "slot_type": 7, "_note": "x"}]},
    "198.51.100.4": {"kind": "esxi", "credentials": {"user": "admin", "password": "s3cret"},
      "version": "6.7.0", "build": "123", "architecture": 64}
  }
})";

// In the order of EndpointKind.
const char* const kServedHosts[] = {"198.51.100.1", "198.51.100.2", "198.51.100.3", "198.51.100.4"};

class InventoryBackend : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quendal-inventory-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        for (int index = 0; index < 4; ++index) {
            lists_.push_back((dir_ / ("list" + std::to_string(index) + ".txt")).string());
        }
        std::ofstream(lists_[0]) << "7X06\n";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path dir_;
    std::vector<std::string> lists_;
    std::shared_ptr<const Inventory> inventory_ = Inventory::Parse(kInventory, "test.json");
};

// A library call reduced to its result and whether it handed anything out. IsCMM and
// GetSwitchType give 0 for a CMM with an I/O Module switch in bay 1, 1 otherwise. Lists start
// with one entry of the caller's, which an answer must keep.
struct Result {
    int code;
    bool wrote;
};

struct RemoteCall {
    const char* name;
    EndpointKind kind;
    int refused;  // result when the host turns the credentials down
    std::function<Result(const Connection&)> call;
};

Tesmora::CMMInventory Chassis(const Connection& c) {
    return {c.host, 443, c.user, c.password};
}

std::vector<RemoteCall> Calls(const std::vector<std::string>& lists) {
    using Tesmora::CMMInventory;
    return {
        {"IsCMM", EndpointKind::kCMM, 1,
         [](const Connection& c) {
             const bool is_cmm = Chassis(c).IsCMM();
             return Result{is_cmm ? 0 : 1, is_cmm};
         }},
        {"GetCMMData", EndpointKind::kCMM, 2,
         [](const Connection& c) {
             Tesmora::CMMDataList list;
             const int code = Chassis(c).GetCMMData(list);
             return Result{code, list.Size() > 0};
         }},
        {"GetSwitchType", EndpointKind::kCMM, 1,
         [](const Connection& c) {
             const int type = Chassis(c).GetSwitchType(1);
             return Result{type == CMMInventory::kIOModuleSwitch ? 0 : 1, type != 0};
         }},
        {"GetIOModuleDataByBayID", EndpointKind::kCMM, 2,
         [](const Connection& c) {
             Tesmora::CIMIODataList list;
             list.Add({});
             const int code = Chassis(c).GetIOModuleDataByBayID(1, list);
             return Result{code, list.Size() > 1};
         }},
        {"GetPSUFirmware", EndpointKind::kSMM, Tesmora::SMM_AUTHENTICATION_FAILED,
         [](const Connection& c) {
             std::vector<Tesmora::PSUFwInfo> supplies(1);
             const int code = Tesmora::SMMInventory(c).GetPSUFirmware(supplies);
             return Result{code, supplies.size() > 1};
         }},
        {"GetPLDMSoftwareIdentities", EndpointKind::kBMC, 2,
         [](const Connection& c) {
             std::vector<Tesmora::TSOptions::SoftwareIdentity_> identities(1);
             const int code =
                 Tesmora::Agentless::AgentlessSoftwareIdentity(c).GetPLDMSoftwareIdentities(
                     identities);
             return Result{code, identities.size() > 1};
         }},
        {"GetMachineType", EndpointKind::kBMC, Tesmora::SystemCheck::CONNECTION_FAILED,
         [lists](const Connection& c) {
             std::pair<std::string, std::string> machine;
             const int code = Tesmora::SystemCheck({c}, lists[0], lists[1], lists[2], lists[3])
                                  .GetMachineType(machine);
             return Result{code, !machine.first.empty()};
         }},
        {"osinfoGetVersion", EndpointKind::kESXi, Tesmora::osinfo::OSINFO_AUTHENTICATION_FAILED,
         [](const Connection& c) {
             Tesmora::OSINFO info;
             const int code =
                 Tesmora::osinfo(c.host, c.user, c.password, 5989, Tesmora::osinfo::CIM_HTTPS)
                     .osinfoGetVersion(info);
             return Result{code, !info.version.empty()};
         }},
    };
}

Connection To(const std::string& host, const std::string& user, const std::string& password) {
    Connection connection;
    connection.host = host;
    connection.user = user;
    connection.password = password;
    return connection;
}

// Only a listed host of the call's kind answers, and only to its own credentials; everything
// else is unreachable (1) or refused, and hands nothing out.
TEST_F(InventoryBackend, AnswersOnlyKnownHostsOfTheRightKindWithTheirCredentials) {
    for (const bool with_inventory : {true, false}) {
        Tesmora::ScopedBackend guard(std::make_shared<Tesmora::DefaultBackend>(
            Tesmora::MakeLocalHost(), with_inventory ? inventory_ : nullptr));
        for (const RemoteCall& call : Calls(lists_)) {
            for (const char* host : {"198.51.100.1", "198.51.100.2", "198.51.100.3", "198.51.100.4",
                                     "198.51.100.99"}) {
                SCOPED_TRACE(std::string(call.name) + " to " + host +
                             (with_inventory ? "" : " without inventory"));
                const Tesmora::InventoryEndpoint* endpoint = inventory_->Find(host);
                const bool served = with_inventory && endpoint && endpoint->kind == call.kind;
                const Result answer = call.call(To(host, "admin", "s3cret"));
                EXPECT_EQ(answer.code, served ? 0 : 1);
                EXPECT_EQ(answer.wrote, served);
                for (const Connection& stranger :
                     {To(host, "admin", "S3CRET"), To(host, "root", "s3cret")}) {
                    const Result refused = call.call(stranger);
                    EXPECT_EQ(refused.code, served ? call.refused : 1);
                    EXPECT_FALSE(refused.wrote);
                }
            }
        }
    }
}

TEST_F(InventoryBackend, ScriptedFailuresReplaceTheAnswer) {
    const auto failing = Inventory::Parse(R"({"hosts": {
        "198.51.100.1": {"kind": "cmm", "chassis": {"serial_number": "CH01"},
            "bays": {"1": {"kind": "io-module", "modules": [{}]}},
            "failures": {"IsCMM": 9, "GetCMMData": 37, "GetSwitchType": 0}},
        "198.51.100.2": {"kind": "smm", "machine_type": "7M14", "failures": {"GetPSUFirmware": 3}},
        "198.51.100.3": {"kind": "bmc", "machine_type": "7X06",
            "failures": {"GetMachineType": 2, "GetPLDMSoftwareIdentities": 44}},
        "198.51.100.4": {"kind": "esxi", "version": "6.7.0", "failures": {"osinfoGetVersion": 3}}
    }})",
                                          "failing.json");
    Tesmora::ScopedBackend guard(
        std::make_shared<Tesmora::DefaultBackend>(Tesmora::MakeLocalHost(), failing));
    const std::map<std::string, int> failed = {
        {"IsCMM", 1},           {"GetCMMData", 37},
        {"GetSwitchType", 1},   {"GetPSUFirmware", Tesmora::SMM_NOT_AVAILABLE},
        {"GetMachineType", 2},  {"GetPLDMSoftwareIdentities", 44},
        {"osinfoGetVersion", 3}};
    for (const RemoteCall& call : Calls(lists_)) {
        SCOPED_TRACE(call.name);
        const auto code = failed.find(call.name);
        const Result result = call.call(To(kServedHosts[static_cast<int>(call.kind)], "", ""));
        // Calls the failures do not name still answer.
        EXPECT_EQ(result.code, code == failed.end() ? 0 : code->second);
        EXPECT_EQ(result.wrote, code == failed.end());
    }
}

TEST_F(InventoryBackend, ChassisAnswersAppendToTheCallersLists) {
    Tesmora::ScopedBackend guard(
        std::make_shared<Tesmora::DefaultBackend>(Tesmora::MakeLocalHost(), inventory_));
    Tesmora::CMMInventory chassis("198.51.100.1", 443, "admin", "s3cret");
    Tesmora::ChassisInfo info;
    ASSERT_EQ(chassis.GetChassisInfo(info), 0);
    EXPECT_EQ(info.MachineTypeModel, "8721HC1");

    Tesmora::CMMDataList cmms;
    cmms.Add(Tesmora::CMMData{"earlier", 0, "", ""});
    ASSERT_EQ(chassis.GetCMMData(cmms), 0);
    ASSERT_EQ(cmms.Size(), 3u);
    EXPECT_EQ(cmms.Get(0).FirmwareVersion, "earlier");
    EXPECT_EQ(cmms.Get(1).IsSecondary, 0);
    EXPECT_EQ(cmms.Get(2).IsSecondary, 1);

    EXPECT_EQ(chassis.GetSwitchType(3), Tesmora::CMMInventory::kPassThroughModule);
    EXPECT_EQ(chassis.GetSwitchType(2), 0);

    Tesmora::CIMIODataList modules;
    ASSERT_EQ(chassis.GetIOModuleDataByBayID(1, modules), 0);
    ASSERT_EQ(chassis.GetPassThruData(3, modules), 0);
    ASSERT_EQ(modules.Size(), 2u);
    EXPECT_EQ(modules.Get(0).Firmware.at(0).Id, "SW  ");
    EXPECT_EQ(modules.Get(0).Firmware.at(0).Classification, -1);
    EXPECT_TRUE(modules.Get(1).IsPassThrough);
    EXPECT_EQ(modules.Get(1).PassThruIdPart1, "PTM");
    EXPECT_EQ(modules.Get(1).Firmware.at(0).Classification, 10);

    // Asking a bay for a kind of module it does not hold, or an empty bay, hands nothing out.
    const std::pair<int, bool> probes[] = {{3, false}, {1, true}, {2, false}};
    for (const auto& [bay, pass_through] : probes) {
        Tesmora::CIMIODataList none;
        EXPECT_NE(pass_through ? chassis.GetPassThruData(bay, none)
                               : chassis.GetIOModuleDataByBayID(bay, none),
                  0);
        EXPECT_EQ(none.Size(), 0u);
    }
}

struct ListsCase {
    std::vector<std::optional<std::string>> lists;  // nullopt: the file is missing
    Tesmora::SystemCheck::ErrorCode expected;
};

TEST_F(InventoryBackend, SystemCheckAcceptsOnlyListedMachineTypes) {
    using Tesmora::SystemCheck;
    const ListsCase cases[] = {
        {{std::nullopt, std::nullopt, std::nullopt, std::nullopt},
         SystemCheck::SYSTEMS_LIST_UNREADABLE},
        {{"", "# 7X06 retired\n7X07\n\n", std::nullopt, "7X0\n"}, SystemCheck::UNSUPPORTED_SYSTEM},
        {{std::nullopt, std::nullopt, std::nullopt, "# header\r\n\r\n  7X06  # mid-2023\r\n"},
         SystemCheck::SUCCESS},
    };
    Tesmora::ScopedBackend guard(
        std::make_shared<Tesmora::DefaultBackend>(Tesmora::MakeLocalHost(), inventory_));
    for (const ListsCase& test : cases) {
        for (std::size_t index = 0; index < lists_.size(); ++index) {
            fs::remove(lists_[index]);
            if (test.lists[index]) {
                std::ofstream(lists_[index], std::ios::binary) << *test.lists[index];
            }
        }
        std::pair<std::string, std::string> machine{"kept", "kept"};
        EXPECT_EQ(SystemCheck({To("198.51.100.3", "admin", "s3cret")}, lists_[0], lists_[1],
                              lists_[2], lists_[3])
                      .GetMachineType(machine),
                  test.expected);
        using Pair = std::pair<std::string, std::string>;
        EXPECT_EQ(machine, test.expected == SystemCheck::SUCCESS ? Pair("7X06", "J30")
                                                                 : Pair("kept", "kept"));
    }
}

// The shipped example answers with the shipped systems lists and its documented credentials.
TEST(InventoryLoad, ReadsTheShippedExampleAndNamesAMissingFile) {
    const std::string root = QUENDAL_SOURCE_DIR;
    const std::string missing = root + "/examples/no-such-inventory.json";
    EXPECT_THAT(ErrorOf([&] { Inventory::Load(missing); }),
                ::testing::StartsWith(missing + ": cannot open: "));

    const auto example = Inventory::Load(root + "/examples/inventory.json");
    Tesmora::ScopedBackend guard(
        std::make_shared<Tesmora::DefaultBackend>(Tesmora::MakeLocalHost(), example));
    const std::string lists = root + "/data/systems-lists/";

    std::pair<std::string, std::string> machine;
    EXPECT_EQ(
        Tesmora::SystemCheck({To("192.0.2.30", "USERID", "PASSW0RD")},
                             lists + "Pelvar_systems_list.txt", lists + "AMD_systems_list.txt",
                             lists + "ZOR_systems_list.txt", lists + "Ostrel_systems_list.txt")
            .GetMachineType(machine),
        Tesmora::SystemCheck::SUCCESS);
    EXPECT_EQ(machine.first, "7X06");

    Tesmora::CMMDataList cmms;
    EXPECT_EQ(Chassis(To("192.0.2.10", "USERID", "PASSW0RD")).GetCMMData(cmms), 0);
    EXPECT_EQ(cmms.Size(), 2u);
    EXPECT_EQ(Chassis(To("192.0.2.50", "USERID", "PASSW0RD")).GetCMMData(cmms), 37);
}

}  // namespace
