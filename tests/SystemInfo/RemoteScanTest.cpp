// The remote scans driven through a scripted backend: hypervisor OS, machine type and serial
// number, and the firmware of a chassis's CMMs and I/O modules; then the library exceptions of
// every scan, local ones included.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "SystemInfo.h"
#include "common/ErrorCode.h"
#include "support/LoadedModule.h"
#include "support/LogCapture.h"
#include "support/MockBackend.h"

namespace {

namespace Status = Quendal::Status;
using namespace ::testing;
using namespace Quendal::Testing;
using Pair = std::pair<std::string, std::string>;
using Lines = std::vector<LevelAndText>;
using Tesmora::SystemCheck;

const Pair kUntouched{"previous", "previous"};
const Tesmora::ChassisInfo kChassis{"Q721HC1", "23A0001", ""};

// Every member set, and the ports apart, so that a scan passing on the wrong one is seen.
Tesmora::TesmoraConnection::ConnectionInfo Endpoint(std::uint32_t type) {
    return {"10.2.0.7", 5989, "operator", "pa55", 5988, 22, 900, type, 2};
}

template <typename List>
List ListOf(std::vector<std::decay_t<decltype(List().Get(0))>> items) {
    List list;
    for (auto& item : items) {
        list.Add(std::move(item));
    }
    return list;
}

// One row per version row of the recognition table ("6.5.0" and "5.5.0" also hold "5.0").
TEST(GetEsxiOSInfo, NamesTheFirstMatchingVersionOrLeavesThePair) {
    const int ok = Status::SUCCEED;
    // version, architecture flag, library result, status, pair afterwards (nullopt: untouched)
    const std::tuple<const char*, std::int32_t, int, int, std::optional<Pair>> cases[] = {
        {"6.7.0", 1, 0, ok, Pair{"VMware ESXi 6.7", "64 bit"}},
        {"6.5.0", 64, 0, ok, Pair{"VMware ESXi 6.5", "64 bit"}},
        {"6.0.0", 0, 0, ok, Pair{"VMware ESXi 6.0", "32 bit"}},
        {"5.1.0", 1, 0, ok, Pair{"VMware ESXi 5.1", "64 bit"}},
        {"5.5.0", 0, 0, ok, Pair{"VMware ESXi 5.5", "32 bit"}},
        {"5.0.0", 1, 0, ok, Pair{"VMware ESXi 5.0", "64 bit"}},
        {"4.0.0", -1, 0, ok, Pair{"VMware ESXi 4", "32 bit"}},
        {"7.0.3", 1, 0, Status::OS_NOT_SUPPORTED, std::nullopt},
        {"6.5.0", 1, 1, Status::FAILED_TO_GET_OS_TYPE, std::nullopt},
        {"6.5.0", 1, 3, Status::FAILED_TO_GET_OS_TYPE, std::nullopt}};
    for (const auto& [version, architecture, result, status, os_info] : cases) {
        SCOPED_TRACE(std::string(version) + " result " + std::to_string(result));
        InstalledMock installed;
        InstalledLogMock log;
        auto& mock = *installed.mock;
        InSequence order;
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetEsxiOSInfo"));
        EXPECT_CALL(mock, OsInfoCreated(OsInfoAt("10.2.0.7", "operator", "pa55", 5989, 1)));
        EXPECT_CALL(mock, OsInfoGetVersion(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(Tesmora::OSINFO{version, "", architecture}),
                            Return(static_cast<Tesmora::osinfo::OSINFORETURNCODE>(result))));
        EXPECT_CALL(*log.sink, Logged(1, "Inband mode don't support os type"))
            .Times(status == Status::OS_NOT_SUPPORTED ? 1 : 0);
        EXPECT_CALL(mock, OsInfoDestroyed(_));
        Pair pair = kUntouched;
        EXPECT_EQ(SystemInfoScan::GetEsxiOSInfo(Endpoint(9), pair), status);
        EXPECT_EQ(pair, os_info.value_or(kUntouched));
    }
}

// An enclosure answers what it can: whatever its two calls left in the texts is the answer.
TEST(GetMachineType, OfAnEnclosureIsWhatItsTwoCallsLeft) {
    using Tesmora::SMM_SUCCESS;
    // machine type left and its call's result, serial number left and its call's result
    const std::tuple<const char*, Tesmora::SMMInventoryErrorCode, const char*,
                     Tesmora::SMMInventoryErrorCode>
        cases[] = {{"QC77", SMM_SUCCESS, "SMM0001", SMM_SUCCESS},
                   {"QC77", Tesmora::SMM_CONNECTION_FAILED, "", Tesmora::SMM_NOT_AVAILABLE},
                   {"", Tesmora::SMM_AUTHENTICATION_FAILED, "SMM0002", SMM_SUCCESS}};
    for (const auto& [mt, mt_result, sn, sn_result] : cases) {
        SCOPED_TRACE(sn);
        InstalledMock installed;
        InstalledLogMock log;
        auto& mock = *installed.mock;
        InSequence order;
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetMachineType()"));
        EXPECT_CALL(mock, SMMInventoryCreated(SameConnection(Endpoint(7))));
        EXPECT_CALL(mock, SMMInventoryGetSmmMT(_, IsEmpty()))
            .WillOnce(DoAll(SetArgReferee<1>(mt), Return(mt_result)));
        EXPECT_CALL(mock, SMMInventoryGetSmmSN(_, IsEmpty()))
            .WillOnce(DoAll(SetArgReferee<1>(sn), Return(sn_result)));
        EXPECT_CALL(*log.sink, Logged(4, "Exit GetMachineType() for SMM"));
        EXPECT_CALL(mock, SMMInventoryDestroyed(_));
        Pair pair = kUntouched;
        EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(7), pair), Status::SUCCEED);
        EXPECT_EQ(pair, Pair(mt, sn));
    }
}

// A chassis always gives 0; a failed read leaves the pair and is logged.
TEST(GetMachineType, OfAChassisIsItsModelCutToFourCharactersAndItsSerialNumber) {
    // model text the library leaves, its result, the pair afterwards (nullopt: untouched)
    const std::tuple<const char*, int, std::optional<Pair>> cases[] = {
        {"Q721HC1", 0, Pair{"Q721", "23A0001"}},
        {"Q721", 0, Pair{"Q721", "23A0001"}},
        {"Q7", 0, Pair{"Q7", "23A0001"}},
        {"", 0, Pair{"", "23A0001"}},
        {"Q721HC1", 1, std::nullopt},
        {"Q721HC1", -1, std::nullopt}};
    for (const auto& [model, result, machine_type] : cases) {
        SCOPED_TRACE(std::string(model) + " result " + std::to_string(result));
        InstalledMock installed;
        InstalledLogMock log;
        auto& mock = *installed.mock;
        InSequence order;
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetMachineType()"));
        EXPECT_CALL(mock, CMMInventoryCreated(ChassisAt("10.2.0.7", 5989, "operator", "pa55")));
        EXPECT_CALL(mock, CMMInventoryGetChassisInfo(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(Tesmora::ChassisInfo{model, "23A0001", "C1"}),
                            Return(result)));
        EXPECT_CALL(*log.sink, Logged(2, "GetChassisInfo failed!")).Times(result == 0 ? 0 : 1);
        EXPECT_CALL(*log.sink, Logged(4, "Exit GetMachineType() for CMM"));
        EXPECT_CALL(mock, CMMInventoryDestroyed(_));
        Pair pair = kUntouched;
        EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(4), pair), Status::SUCCEED);
        EXPECT_EQ(pair, machine_type.value_or(kUntouched));
    }
}

// Any other endpoint is a server behind its BMC: the system-check library fills the pair itself,
// and what it left stays there whatever it returned.
TEST(GetMachineType, OfAServerIsWhatTheSystemCheckLeft) {
    const std::string directory = LoadedModuleDirectory("quendal_system_info");
    ASSERT_FALSE(directory.empty()) << "the module is not loaded";
    const std::vector<std::string> lists{
        directory + "Pelvar_systems_list.txt", directory + "AMD_systems_list.txt",
        directory + "ZOR_systems_list.txt", directory + "Ostrel_systems_list.txt"};
    // endpoint type, library result, pair it leaves, status
    const std::tuple<std::uint32_t, SystemCheck::ErrorCode, Pair, int> cases[] = {
        {1, SystemCheck::SUCCESS, {"QX06", "J30A1B2C"}, Status::SUCCEED},
        {0, SystemCheck::CONNECTION_FAILED, {"", ""}, 1746},
        {5, SystemCheck::UNSUPPORTED_SYSTEM, {"QX06", ""}, 1746},
        {255, SystemCheck::QUERY_FAILED, {"QX06", "J30A1B2C"}, 1746}};
    for (const auto& [type, result, left, status] : cases) {
        SCOPED_TRACE(type);
        InstalledMock installed;
        InstalledLogMock log;
        auto& mock = *installed.mock;
        Pair pair = kUntouched;
        InSequence order;
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetMachineType()"));
        EXPECT_CALL(mock, SystemCheckCreated(
                              AllOf(Field(&Tesmora::SystemCheckTargets::connections,
                                          ElementsAre(SameConnection(Endpoint(type)))),
                                    Field(&Tesmora::SystemCheckTargets::systems_lists, lists))));
        EXPECT_CALL(mock, SystemCheckGetMachineType(_, Ref(pair)))
            .WillOnce(DoAll(SetArgReferee<1>(left), Return(result)));
        EXPECT_CALL(*log.sink, Logged(4, result == SystemCheck::SUCCESS
                                             ? "GetMachineType() for BMC with Rest Success"
                                             : "GetMachineType() for BMC with Rest Fail"));
        EXPECT_CALL(mock, SystemCheckDestroyed(_));
        EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(type), pair), status);
        EXPECT_EQ(pair, left);
    }
}

// Each data set's own flag decides how its identifiers are formed, whatever kind the bay reported.
// Firmware entries are written {version, name, third pass-through part, id, classification}.
const Tesmora::CIMIODataList kSwitchData = ListOf<Tesmora::CIMIODataList>(
    {{false, "X", "Y", {{"v1", "Main Application", "Z", "XYZ\t  ", -1}, {"v0", "B", "", "  ", 1}}},
     {true, "P", "Q", {}},
     {true, "X", "Y", {{"v2", "PT", "Z", "ID", -2}}},
     {true, "", "", {{"v3", "PT", "", "", 0}}}});

class ChassisScanTest : public Test {
protected:
    // The chassis read fails, yet the texts it leaves are what the records carry.
    void ExpectChassis() {
        EXPECT_CALL(mock_, CMMInventoryCreated(ChassisAt("10.2.0.7", 5989, "operator", "pa55")));
        EXPECT_CALL(mock_, CMMInventoryIsCMM(_)).WillOnce(Return(true));
        EXPECT_CALL(mock_, CMMInventoryGetChassisInfo(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(kChassis), Return(9)));
    }

    // The data call that fits a kind of module (none for another kind) answers kSwitchData.
    void ExpectSwitchData(int type, int bay, int result) {
        const auto answer = DoAll(SetArgReferee<2>(kSwitchData), Return(result));
        if (type == Tesmora::CMMInventory::kIOModuleSwitch) {
            EXPECT_CALL(mock_, CMMInventoryGetIOModuleDataByBayID(_, bay, _)).WillOnce(answer);
        } else if (type == Tesmora::CMMInventory::kPassThroughModule) {
            EXPECT_CALL(mock_, CMMInventoryGetPassThruData(_, bay, _)).WillOnce(answer);
        }
    }

    // Marks in the log where the inventory goes, to place it among the timer's lines.
    void ExpectDestroyed() {
        EXPECT_CALL(mock_, CMMInventoryDestroyed(_)).WillOnce(Invoke([](const auto&) {
            TS_LOG(1) << "inventory destroyed";
        }));
    }

    // Logged since the last look: timer's entry line, body, inventory going, timer's closing lines.
    void ExpectTimed(const std::string& operation, Lines body) {
        Lines lines = capture_.Lines();
        lines.erase(lines.begin(), lines.begin() + seen_);
        seen_ += lines.size();
        body.emplace_back(1, "inventory destroyed");
        ASSERT_EQ(lines.size(), body.size() + 3) << PrintToString(lines);
        const std::string name = "SystemInfoScan::" + operation + " at:";
        EXPECT_THAT(lines.front(), ::testing::Pair(3u, StartsWith("Entering " + name)));
        EXPECT_EQ(Lines(lines.begin() + 1, lines.end() - 2), body);
        EXPECT_THAT(lines[lines.size() - 2], ::testing::Pair(3u, AllOf(StartsWith("Time consumed:"),
                                                                       EndsWith(" second(s)\n"))));
        EXPECT_THAT(lines.back(), ::testing::Pair(3u, StartsWith("Leaving " + name)));
    }

    InstalledMock installed_;
    StrictMock<MockBackend>& mock_ = *installed_.mock;
    LogCapture capture_{4};
    std::size_t seen_ = 0;
};

MATCHER_P5(Record, mt, sn, id, version, classification, "") {
    return arg.mt == mt && arg.sn == sn && arg.id == id && arg.version == version &&
           arg.classification == classification;
}
MATCHER_P2(Texts, description, name, "") {
    return arg.description == description && arg.name == name;
}

// A flag of 0 is the primary CMM; any other value, negative ones included, a secondary one.
TEST_F(ChassisScanTest, CmmRecordsAreAppendedAndOutlastLaterFailures) {
    const auto data = ListOf<Tesmora::CMMDataList>(
        {{"1.4.2", 0, "", ""}, {"1.3", 7, "", ""}, {"1.2", -1, "", ""}, {"1.1", 1, "", ""}});
    // data list and result of the library, status, what is logged besides the timer's lines
    const std::tuple<Tesmora::CMMDataList, int, int, Lines> calls[] = {
        {data, 0, Status::SUCCEED, {{4, "GetCMMData() retCode = 0"}}},
        {{}, 0, Status::SUCCEED, {{4, "GetCMMData() retCode = 0"}}},
        {data, 37, 37, {{4, "GetCMMData() retCode = 37"}, {1, "Failed to get CMM Data."}}},
        {data, -1, -1, {{4, "GetCMMData() retCode = -1"}, {1, "Failed to get CMM Data."}}}};
    std::vector<CMMInfo> cmms{CMMInfo{"old", "old", "old", "", "", "", ""}};
    InSequence order;
    EXPECT_CALL(mock_, CMMInventoryCreated(_));
    EXPECT_CALL(mock_, CMMInventoryIsCMM(_)).WillOnce(Return(false));
    ExpectDestroyed();
    EXPECT_EQ(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), 1552);
    ExpectTimed("GetCMMSoftwareIdentity", {});
    for (const auto& [list, result, status, body] : calls) {
        ExpectChassis();
        EXPECT_CALL(mock_, CMMInventoryGetCMMData(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(list), Return(result)));
        ExpectDestroyed();
        EXPECT_EQ(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), status);
        ExpectTimed("GetCMMSoftwareIdentity", body);
    }

    const auto primary =
        Texts("Firmware for Primary CMM", "Primary CMM Firmware Software Identity Information");
    const auto secondary =
        Texts("Firmware for Secondary CMM", "Secondary CMM Firmware Software Identity Information");
    EXPECT_THAT(cmms, ElementsAre(Record("old", "old", "old", "", ""),
                                  AllOf(Record("Q721", "23A0001", "CMM", "1.4.2", ""), primary),
                                  AllOf(Record("Q721", "23A0001", "CMM", "1.3", ""), secondary),
                                  AllOf(Record("Q721", "23A0001", "CMM", "1.2", ""), secondary),
                                  AllOf(Record("Q721", "23A0001", "CMM", "1.1", ""), secondary)));
}

const Lines kIOModuleLines{{3, "The switch is IO Module switch."},
                           {3, "start to get data of IO Module switch."}};
const Lines kPassThroughLines{{3, "The switch is Pass-Through switch."},
                              {3, "start to get data of Pass-Through switch."}};

TEST_F(ChassisScanTest, SwitchRecordsAreFormedPerFirmwareEntryWhateverTheBayReports) {
    for (const int type :
         {Tesmora::CMMInventory::kIOModuleSwitch, Tesmora::CMMInventory::kPassThroughModule}) {
        SCOPED_TRACE(type);
        InSequence order;
        ExpectChassis();
        EXPECT_CALL(mock_, CMMInventoryGetSwitchType(_, 3)).WillOnce(Return(type));
        ExpectSwitchData(type, 3, 0);
        ExpectDestroyed();
        std::vector<SwitchInfo> switches{SwitchInfo{"old", "old", "old", "", "", "", ""}};
        EXPECT_EQ(SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), "3", switches),
                  Status::SUCCEED);
        EXPECT_THAT(switches,
                    ElementsAre(Record("old", "old", "old", "", ""),
                                AllOf(Record("Q721", "23A0001", "XYZ\t", "v1", ""),
                                      Texts("Firmware for Main Applica",
                                            "Main Applica Firmware Software Identity Information")),
                                Record("Q721", "23A0001", "  ", "v0", "1"),
                                Record("Q721", "23A0001", "X-Y-Z", "v2", "-2"),
                                Record("Q721", "23A0001", "--", "v3", "0")));
        Lines body = type == 1 ? kIOModuleLines : kPassThroughLines;
        body.insert(body.end(), {{3, "IsPassThrough:  0"},
                                 {3, "switch_info.id  XYZ\t  "},
                                 {3, "switch_info.id  XYZ\t"},
                                 {3, "switch_info.version:   v1"},
                                 {3, "switch_info.id    "},
                                 {3, "switch_info.id    "},
                                 {3, "switch_info.version:   v0"},
                                 {3, "IsPassThrough:  1"},
                                 {3, "IsPassThrough:  1"},
                                 {3, "switch_info.id  X-Y-Z"},
                                 {3, "switch_info.version:   v2"},
                                 {3, "IsPassThrough:  1"},
                                 {3, "switch_info.id  --"},
                                 {3, "switch_info.version:   v3"}});
        ExpectTimed("GetSwitchSoftwareIdentity", body);
    }
}

// The bay is read as atoi reads it: leading blanks and sign, decimal digits up to the first other
// character, 0 for no number. Every failure gives 1 and an error line, and adds no record.
TEST_F(ChassisScanTest, SwitchFailuresGiveGenericFailureAndAnErrorLine) {
    const Lines unknown{{3, "get switch type ERROR."}};
    // bay text, bay asked for, switch type, result of the data call, logged besides the timer
    const std::tuple<const char*, int, int, int, Lines> calls[] = {
        {"12", 12, 3, 0, unknown},        {" +7th", 7, 0, 0, unknown},
        {"-2", -2, -1, 0, unknown},       {"010", 10, 3, 0, unknown},
        {"0x1A", 0, 3, 0, unknown},       {"bay", 0, 3, 0, unknown},
        {"", 0, 2, 4, kPassThroughLines}, {"2", 2, 2, -1, kPassThroughLines},
        {"1", 1, 1, 3, kIOModuleLines},   {"1", 1, 1, -1, kIOModuleLines}};
    std::vector<SwitchInfo> switches(1);
    for (const auto& [bay, number, type, result, body] : calls) {
        SCOPED_TRACE(std::string("bay \"") + bay + "\" type " + std::to_string(type));
        InSequence order;
        ExpectChassis();
        EXPECT_CALL(mock_, CMMInventoryGetSwitchType(_, number)).WillOnce(Return(type));
        ExpectSwitchData(type, number, result);
        ExpectDestroyed();
        internal::CaptureStderr();
        EXPECT_EQ(SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), bay, switches),
                  Status::GENERIC_FAILURE);
        EXPECT_EQ(internal::GetCapturedStderr(),
                  body == unknown ? "get switch type ERROR.\n" : "Get Switch Info failed\n");
        ExpectTimed("GetSwitchSoftwareIdentity", body);
    }
    EXPECT_EQ(switches.size(), 1u);

    // An endpoint that is not a CMM is asked nothing more.
    EXPECT_CALL(mock_, CMMInventoryCreated(_));
    EXPECT_CALL(mock_, CMMInventoryIsCMM(_)).WillOnce(Return(false));
    ExpectDestroyed();
    EXPECT_EQ(SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), "1", switches), 1552);
    ExpectTimed("GetSwitchSoftwareIdentity", {});
    EXPECT_EQ(switches.size(), 1u);
}

// Every library step of every scan is made to throw in turn, constructors included: the
// exception reaches the caller unchanged, and every library object constructed is destroyed.
TEST(LibraryExceptions, ReachTheCallerAfterEveryLibraryObjectIsDestroyed) {
    auto mock = std::make_shared<NiceMock<MockBackend>>();
    Tesmora::ScopedBackend guard{mock};
    LogCapture quiet;
    std::string failing;  // the step that throws
    int alive = 0;        // library objects constructed and not destroyed yet
    // A library step: throws when it is the failing one, else adds change to alive and answers.
    const auto step = [&](const char* name, auto value, int change) {
        return [&, name, value, change](auto&&...) {
            if (failing == name) {
                throw std::runtime_error(name);
            }
            alive += change;
            return value;
        };
    };
    const auto answer = [&](const char* name, auto value) { return step(name, value, 0); };
    const auto created = [&](const char* name) { return step(name, 0, 1); };
    const auto destroyed = step("", 0, -1);
    auto& m = *mock;
    ON_CALL(m, OperatingSystemCreated).WillByDefault(created("OperatingSystem"));
    ON_CALL(m, OperatingSystemGetOSType).WillByDefault(answer("GetOSType", 0));
    ON_CALL(m, OperatingSystemDestroyed).WillByDefault(destroyed);
    ON_CALL(m, OsInfoCreated).WillByDefault(created("osinfo"));
    ON_CALL(m, OsInfoGetVersion)
        .WillByDefault(answer("osinfoGetVersion", Tesmora::osinfo::OSINFO_SUCCESS));
    ON_CALL(m, OsInfoDestroyed).WillByDefault(destroyed);
    ON_CALL(m, DriverInfoCreated).WillByDefault(created("DriverInfo"));
    ON_CALL(m, DriverInfoListDrivers).WillByDefault(answer("list_drivers", 0));
    ON_CALL(m, DriverInfoDestroyed).WillByDefault(destroyed);
    ON_CALL(m, DeviceCollectorCreated).WillByDefault(created("DeviceCollector"));
    ON_CALL(m, DeviceCollectorGetDiskDriverSoftwareIdentities)
        .WillByDefault(answer("GetDiskDriverSoftwareIdentities", 0));
    ON_CALL(m, DeviceCollectorDestroyed).WillByDefault(destroyed);
    ON_CALL(m, AgentlessCreated).WillByDefault(created("Agentless"));
    ON_CALL(m, AgentlessGetPLDMSoftwareIdentities)
        .WillByDefault(answer("GetPLDMSoftwareIdentities", 0));
    ON_CALL(m, AgentlessDestroyed).WillByDefault(destroyed);
    ON_CALL(m, SMMInventoryCreated).WillByDefault(created("SMMInventory"));
    ON_CALL(m, SMMInventoryGetSmmMT).WillByDefault(answer("GetSmmMT", Tesmora::SMM_SUCCESS));
    ON_CALL(m, SMMInventoryGetSmmSN).WillByDefault(answer("GetSmmSN", Tesmora::SMM_SUCCESS));
    ON_CALL(m, SMMInventoryDestroyed).WillByDefault(destroyed);
    ON_CALL(m, SystemCheckCreated).WillByDefault(created("SystemCheck"));
    ON_CALL(m, SystemCheckGetMachineType)
        .WillByDefault(answer("GetMachineType", SystemCheck::SUCCESS));
    ON_CALL(m, SystemCheckDestroyed).WillByDefault(destroyed);
    ON_CALL(m, CMMInventoryCreated).WillByDefault(created("CMMInventory"));
    ON_CALL(m, CMMInventoryIsCMM).WillByDefault(answer("IsCMM", true));
    ON_CALL(m, CMMInventoryGetChassisInfo).WillByDefault(answer("GetChassisInfo", 0));
    ON_CALL(m, CMMInventoryGetCMMData).WillByDefault(answer("GetCMMData", 0));
    // The bay's number is its switch type, so that each kind of module can be reached.
    ON_CALL(m, CMMInventoryGetSwitchType).WillByDefault([&failing](const auto&, int bay) {
        return failing == "GetSwitchType" ? throw std::runtime_error("GetSwitchType") : bay;
    });
    ON_CALL(m, CMMInventoryGetIOModuleDataByBayID)
        .WillByDefault(answer("GetIOModuleDataByBayID", 0));
    ON_CALL(m, CMMInventoryGetPassThruData).WillByDefault(answer("GetPassThruData", 0));
    ON_CALL(m, CMMInventoryDestroyed).WillByDefault(destroyed);

    Pair pair;
    std::vector<Tesmora::DriverData> drivers;
    std::vector<Tesmora::TSOptions::SoftwareIdentity_> identities;
    std::vector<CMMInfo> cmms;
    std::vector<SwitchInfo> switches;
    // a scan, and the steps that may throw in it
    const std::pair<std::function<void()>, std::vector<const char*>> scans[] = {
        {[&] { SystemInfoScan::GetOSInfo(pair); }, {"OperatingSystem", "GetOSType"}},
        {[&] { SystemInfoScan::GetEsxiOSInfo(Endpoint(9), pair); }, {"osinfo", "osinfoGetVersion"}},
        {[&] { SystemInfoScan::GetDriverData(drivers, true); }, {"DriverInfo", "list_drivers"}},
        {[&] { SystemInfoScan::GetDiskDriverSoftwareIdentity(identities); },
         {"DeviceCollector", "GetDiskDriverSoftwareIdentities"}},
        {[&] { SystemInfoScan::GetAgentlessSoftwareIdentity(Endpoint(1), identities); },
         {"Agentless", "GetPLDMSoftwareIdentities"}},
        {[&] { SystemInfoScan::GetMachineType(Endpoint(7), pair); },
         {"SMMInventory", "GetSmmMT", "GetSmmSN"}},
        {[&] { SystemInfoScan::GetMachineType(Endpoint(4), pair); },
         {"CMMInventory", "GetChassisInfo"}},
        {[&] { SystemInfoScan::GetMachineType(Endpoint(1), pair); },
         {"SystemCheck", "GetMachineType"}},
        {[&] { SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms); },
         {"CMMInventory", "IsCMM", "GetChassisInfo", "GetCMMData"}},
        {[&] { SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), "1", switches); },
         {"CMMInventory", "IsCMM", "GetChassisInfo", "GetSwitchType", "GetIOModuleDataByBayID"}},
        {[&] { SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), "2", switches); },
         {"GetPassThruData"}}};
    for (const auto& [scan, steps] : scans) {
        for (const char* step : steps) {
            SCOPED_TRACE(step);
            failing = step;
            std::string caught = "nothing";
            try {
                scan();
            } catch (const std::runtime_error& error) {
                caught = error.what();
            }
            EXPECT_EQ(caught, step);
            EXPECT_EQ(alive, 0);
            alive = 0;
        }
    }
}

}  // namespace
