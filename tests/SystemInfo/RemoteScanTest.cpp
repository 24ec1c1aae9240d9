// The remote scans driven through a scripted backend: hypervisor OS, machine type and serial
// number, and the firmware of a chassis's CMMs and I/O modules.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

const Pair kUntouched{"previous", "previous"};
const Tesmora::ChassisInfo kChassis{"Q721HC1", "23A0001", ""};

Tesmora::TesmoraConnection::ConnectionInfo Endpoint(std::uint32_t type) {
    return {"10.2.0.7", 5989, "operator", "pa55", 0, 0, 0, type, 0};
}

template <typename List>
List ListOf(std::vector<std::decay_t<decltype(List().Get(0))>> items) {
    List list;
    for (auto& item : items) {
        list.Add(std::move(item));
    }
    return list;
}

TEST(GetEsxiOSInfo, NamesTheFirstMatchingVersionOrLeavesThePair) {
    // version, architecture flag, library result, status, pair afterwards (nullopt: untouched)
    const std::tuple<const char*, std::int32_t, int, int, std::optional<Pair>> cases[] = {
        {"6.5.0", 64, 0, Status::SUCCEED, Pair{"VMware ESXi 6.5", "64 bit"}},  // holds "5.0"
        {"5.5.0", 0, 0, Status::SUCCEED, Pair{"VMware ESXi 5.5", "32 bit"}},
        {"4.0.0", -1, 0, Status::SUCCEED, Pair{"VMware ESXi 4", "32 bit"}},
        {"7.0.3", 1, 0, Status::OS_NOT_SUPPORTED, std::nullopt},
        {"6.5.0", 1, 2, Status::FAILED_TO_GET_OS_TYPE, std::nullopt}};
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

// Enclosures and chassis answer whatever their calls return; any other type is a BMC's server.
TEST(GetMachineType, AsksTheLibraryThatFitsTheEndpoint) {
    const std::string directory = LoadedModuleDirectory("quendal_system_info");
    ASSERT_FALSE(directory.empty()) << "the module is not loaded";
    InstalledMock installed;
    InstalledLogMock log;
    auto& mock = *installed.mock;
    Pair enclosure = kUntouched, chassis = kUntouched, unread = kUntouched, server = kUntouched;
    InSequence order;
    EXPECT_CALL(*log.sink, Logged(4, "Entry GetMachineType()"));
    EXPECT_CALL(mock, SMMInventoryCreated(ConnectionTo("10.2.0.7")));
    EXPECT_CALL(mock, SMMInventoryGetSmmMT(_, IsEmpty()))
        .WillOnce(DoAll(SetArgReferee<1>("QC77"), Return(Tesmora::SMM_CONNECTION_FAILED)));
    EXPECT_CALL(mock, SMMInventoryGetSmmSN(_, _)).WillOnce(Return(Tesmora::SMM_NOT_AVAILABLE));
    EXPECT_CALL(*log.sink, Logged(4, "Exit GetMachineType() for SMM"));
    EXPECT_CALL(mock, SMMInventoryDestroyed(_));
    for (const int result : {0, 5}) {
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetMachineType()"));
        EXPECT_CALL(mock, CMMInventoryCreated(ChassisAt("10.2.0.7", 5989, "operator", "pa55")));
        EXPECT_CALL(mock, CMMInventoryGetChassisInfo(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(kChassis), Return(result)));
        EXPECT_CALL(*log.sink, Logged(2, "GetChassisInfo failed!")).Times(result == 0 ? 0 : 1);
        EXPECT_CALL(*log.sink, Logged(4, "Exit GetMachineType() for CMM"));
        EXPECT_CALL(mock, CMMInventoryDestroyed(_));
    }
    const auto targets = AllOf(
        Field(&Tesmora::SystemCheckTargets::connections, ElementsAre(ConnectionTo("10.2.0.7"))),
        Field(&Tesmora::SystemCheckTargets::systems_lists,
              ElementsAre(directory + "Pelvar_systems_list.txt", directory + "AMD_systems_list.txt",
                          directory + "ZOR_systems_list.txt",
                          directory + "Ostrel_systems_list.txt")));
    for (const bool success : {true, false}) {
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetMachineType()"));
        EXPECT_CALL(mock, SystemCheckCreated(targets));
        EXPECT_CALL(mock, SystemCheckGetMachineType(_, Ref(server)))
            .WillOnce(Return(success ? Tesmora::SystemCheck::SUCCESS
                                     : Tesmora::SystemCheck::CONNECTION_FAILED));
        EXPECT_CALL(*log.sink, Logged(4, success ? "GetMachineType() for BMC with Rest Success"
                                                 : "GetMachineType() for BMC with Rest Fail"));
        EXPECT_CALL(mock, SystemCheckDestroyed(_));
    }
    EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(7), enclosure), Status::SUCCEED);
    EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(4), chassis), Status::SUCCEED);
    EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(4), unread), Status::SUCCEED);
    EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(1), server), Status::SUCCEED);
    EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(255), server), 1746);
    EXPECT_EQ(enclosure, (Pair{"QC77", ""}));
    EXPECT_EQ(chassis, (Pair{"Q721", "23A0001"}));
    EXPECT_EQ(unread, kUntouched);
}

class ChassisScanTest : public Test {
protected:
    // The chassis read fails, yet the texts it leaves are what the records carry.
    void ExpectChassis() {
        EXPECT_CALL(mock_, CMMInventoryCreated(ChassisAt("10.2.0.7", 5989, "operator", "pa55")));
        EXPECT_CALL(mock_, CMMInventoryIsCMM(_)).WillOnce(Return(true));
        EXPECT_CALL(mock_, CMMInventoryGetChassisInfo(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(kChassis), Return(9)));
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
        EXPECT_THAT(lines.front().second, StartsWith("Entering SystemInfoScan::" + operation));
        EXPECT_EQ(Lines(lines.begin() + 1, lines.end() - 2), body);
        EXPECT_THAT(lines[lines.size() - 2].second, StartsWith("Time consumed:"));
        EXPECT_THAT(lines.back().second, StartsWith("Leaving SystemInfoScan::" + operation));
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

TEST_F(ChassisScanTest, CmmRecordsAreAppendedAndOutlastLaterFailures) {
    InSequence order;
    EXPECT_CALL(mock_, CMMInventoryCreated(_));
    EXPECT_CALL(mock_, CMMInventoryIsCMM(_)).WillOnce(Return(false));
    ExpectDestroyed();
    ExpectChassis();
    const auto data = ListOf<Tesmora::CMMDataList>({{"1.4.2", 0, "", ""}, {"1.3", 7, "", ""}});
    EXPECT_CALL(mock_, CMMInventoryGetCMMData(_, _))
        .WillOnce(DoAll(SetArgReferee<1>(data), Return(0)));
    ExpectDestroyed();
    ExpectChassis();
    EXPECT_CALL(mock_, CMMInventoryGetCMMData(_, _))
        .WillOnce(DoAll(SetArgReferee<1>(data), Return(37)));
    ExpectDestroyed();
    EXPECT_CALL(mock_, CMMInventoryCreated(_));
    EXPECT_CALL(mock_, CMMInventoryIsCMM(_)).WillOnce(Return(true));
    EXPECT_CALL(mock_, CMMInventoryGetChassisInfo(_, _))
        .WillOnce(Throw(std::runtime_error("CMM session lost")));
    ExpectDestroyed();
    std::vector<CMMInfo> cmms{CMMInfo{"old", "old", "old", "", "", "", ""}};
    EXPECT_EQ(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), 1552);
    ExpectTimed("GetCMMSoftwareIdentity", {});
    EXPECT_EQ(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), Status::SUCCEED);
    ExpectTimed("GetCMMSoftwareIdentity", {{4, "GetCMMData() retCode = 0"}});
    EXPECT_EQ(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), 37);
    ExpectTimed("GetCMMSoftwareIdentity",
                {{4, "GetCMMData() retCode = 37"}, {1, "Failed to get CMM Data."}});
    EXPECT_THROW(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), std::runtime_error);
    ExpectTimed("GetCMMSoftwareIdentity", {});

    EXPECT_THAT(cmms,
                ElementsAre(Record("old", "old", "old", "", ""),
                            AllOf(Record("Q721", "23A0001", "CMM", "1.4.2", ""),
                                  Texts("Firmware for Primary CMM",
                                        "Primary CMM Firmware Software Identity Information")),
                            AllOf(Record("Q721", "23A0001", "CMM", "1.3", ""),
                                  Texts("Firmware for Secondary CMM",
                                        "Secondary CMM Firmware Software Identity Information"))));
}

// Each data set's own flag decides how its identifiers are formed, whatever kind the bay reported.
// Firmware entries are written {version, name, third pass-through part, id, classification}.
const Tesmora::CIMIODataList kSwitchData = ListOf<Tesmora::CIMIODataList>(
    {{false, "X", "Y", {{"v1", "Main Application", "Z", "XYZ\t  ", -1}, {"v0", "B", "", "  ", 1}}},
     {true, "X", "Y", {{"v2", "PT", "Z", "ID", -2}}},
     {true, "", "", {{"v3", "PT", "", "", 0}}}});

TEST_F(ChassisScanTest, SwitchRecordsAreFormedPerFirmwareEntry) {
    InSequence order;
    ExpectChassis();
    EXPECT_CALL(mock_, CMMInventoryGetSwitchType(_, 3)).WillOnce(Return(1));
    EXPECT_CALL(mock_, CMMInventoryGetIOModuleDataByBayID(_, 3, _))
        .WillOnce(DoAll(SetArgReferee<2>(kSwitchData), Return(0)));
    ExpectDestroyed();
    std::vector<SwitchInfo> switches{SwitchInfo{"old", "old", "old", "", "", "", ""}};
    EXPECT_EQ(SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), " 3rd", switches),
              Status::SUCCEED);
    EXPECT_THAT(switches,
                ElementsAre(Record("old", "old", "old", "", ""),
                            AllOf(Record("Q721", "23A0001", "XYZ\t", "v1", ""),
                                  Texts("Firmware for Main Applica",
                                        "Main Applica Firmware Software Identity Information")),
                            Record("Q721", "23A0001", "  ", "v0", "1"),
                            Record("Q721", "23A0001", "X-Y-Z", "v2", "-2"),
                            Record("Q721", "23A0001", "--", "v3", "0")));
    ExpectTimed("GetSwitchSoftwareIdentity", {{3, "The switch is IO Module switch."},
                                              {3, "start to get data of IO Module switch."},
                                              {3, "IsPassThrough:  0"},
                                              {3, "switch_info.id  XYZ\t  "},
                                              {3, "switch_info.id  XYZ\t"},
                                              {3, "switch_info.version:   v1"},
                                              {3, "switch_info.id    "},
                                              {3, "switch_info.id    "},
                                              {3, "switch_info.version:   v0"},
                                              {3, "IsPassThrough:  1"},
                                              {3, "switch_info.id  X-Y-Z"},
                                              {3, "switch_info.version:   v2"},
                                              {3, "IsPassThrough:  1"},
                                              {3, "switch_info.id  --"},
                                              {3, "switch_info.version:   v3"}});
}

// Both give 1 and an error line; only a bad module kind is also logged.
TEST_F(ChassisScanTest, SwitchFailuresGiveGenericFailureAndAnErrorLine) {
    InSequence order;
    ExpectChassis();
    EXPECT_CALL(mock_, CMMInventoryGetSwitchType(_, 12)).WillOnce(Return(3));
    ExpectDestroyed();
    ExpectChassis();
    EXPECT_CALL(mock_, CMMInventoryGetSwitchType(_, 0)).WillOnce(Return(2));
    EXPECT_CALL(mock_, CMMInventoryGetPassThruData(_, 0, _))
        .WillOnce(DoAll(SetArgReferee<2>(kSwitchData), Return(4)));
    ExpectDestroyed();
    // bay, error line, what is logged besides the timer's lines
    const std::tuple<const char*, std::string, Lines> calls[] = {
        {"12", "get switch type ERROR.", {{3, "get switch type ERROR."}}},
        {"",
         "Get Switch Info failed",
         {{3, "The switch is Pass-Through switch."},
          {3, "start to get data of Pass-Through switch."}}}};
    std::vector<SwitchInfo> switches(1);
    for (const auto& [bay, error_line, body] : calls) {
        internal::CaptureStderr();
        EXPECT_EQ(SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), bay, switches),
                  Status::GENERIC_FAILURE);
        EXPECT_EQ(internal::GetCapturedStderr(), error_line + "\n");
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

}  // namespace
