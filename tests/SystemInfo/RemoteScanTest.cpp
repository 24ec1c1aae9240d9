// The remote scans driven through a scripted backend: hypervisor OS, machine type and serial
// number, and the firmware of a chassis's CMMs and I/O modules.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

#include "SystemInfo.h"
#include "common/ErrorCode.h"
#include "support/LoadedModule.h"
#include "support/LogCapture.h"
#include "support/MockBackend.h"

namespace {

namespace Status = Quendal::Status;
using Quendal::Testing::ChassisAt;
using Quendal::Testing::ConnectionTo;
using Quendal::Testing::InstalledLogMock;
using Quendal::Testing::InstalledMock;
using Quendal::Testing::LevelAndText;
using Quendal::Testing::LogCapture;
using Quendal::Testing::OsInfoAt;
using ::testing::_;
using ::testing::AllOf;
using ::testing::DoAll;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::Ref;
using ::testing::Return;
using ::testing::SetArgReferee;
using ::testing::StartsWith;
using ::testing::Throw;
using Pair = std::pair<std::string, std::string>;
using ConnectionInfo = Tesmora::TesmoraConnection::ConnectionInfo;

const Pair kUntouched{"previous", "previous"};

ConnectionInfo Endpoint(std::uint32_t type) {
    ConnectionInfo connection;
    connection.host = "10.2.0.7";
    connection.port = 5989;
    connection.user = "operator";
    connection.password = "pa55";
    connection.type = type;
    return connection;
}

// ---- Hypervisor OS ---------------------------------------------------------------------------

struct EsxiCase {
    const char* version;
    std::int32_t architecture;
    int library_result;
    int status;
    std::optional<Pair> os_info;
};

void PrintTo(const EsxiCase& c, std::ostream* os) {
    *os << '"' << c.version << "\" arch " << c.architecture << " result " << c.library_result;
}

class GetEsxiOSInfoTest : public ::testing::TestWithParam<EsxiCase> {};

TEST_P(GetEsxiOSInfoTest, NamesTheVersionOrLeavesThePair) {
    const EsxiCase& c = GetParam();
    InstalledMock installed;
    Tesmora::OSINFO answer;
    answer.version = c.version;
    answer.architecture = c.architecture;
    {
        InSequence order;
        EXPECT_CALL(*installed.mock,
                    OsInfoCreated(OsInfoAt("10.2.0.7", "operator", "pa55", 5989, 1)));
        EXPECT_CALL(*installed.mock, OsInfoGetVersion(_, AllOf(Field(&Tesmora::OSINFO::version, ""),
                                                               Field(&Tesmora::OSINFO::build, ""))))
            .WillOnce(
                DoAll(SetArgReferee<1>(answer),
                      Return(static_cast<Tesmora::osinfo::OSINFORETURNCODE>(c.library_result))));
        EXPECT_CALL(*installed.mock, OsInfoDestroyed(_));
    }
    LogCapture capture(4);
    Pair os_info = kUntouched;

    EXPECT_EQ(SystemInfoScan::GetEsxiOSInfo(Endpoint(9), os_info), c.status);
    EXPECT_EQ(os_info, c.os_info.value_or(kUntouched));
    std::vector<LevelAndText> expected{{4, "Entry GetEsxiOSInfo"}};
    if (c.status == Status::OS_NOT_SUPPORTED) {
        expected.emplace_back(1, "Inband mode don't support os type");
    }
    EXPECT_EQ(capture.Lines(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, GetEsxiOSInfoTest,
    ::testing::Values(EsxiCase{"6.7.0", 1, 0, Status::SUCCEED, Pair{"VMware ESXi 6.7", "64 bit"}},
                      EsxiCase{"6.5.0", 64, 0, Status::SUCCEED, Pair{"VMware ESXi 6.5", "64 bit"}},
                      EsxiCase{"5.5.0", 0, 0, Status::SUCCEED, Pair{"VMware ESXi 5.5", "32 bit"}},
                      EsxiCase{"VMware ESXi 6.0.0 build-3620759", -1, 0, Status::SUCCEED,
                               Pair{"VMware ESXi 6.0", "32 bit"}},
                      EsxiCase{"4.0.0", 1, 0, Status::SUCCEED, Pair{"VMware ESXi 4", "64 bit"}},
                      EsxiCase{"4.1.0", 1, 0, Status::OS_NOT_SUPPORTED, std::nullopt},
                      EsxiCase{"7.0.3", 1, 0, Status::OS_NOT_SUPPORTED, std::nullopt},
                      EsxiCase{"6 .7", 1, 0, Status::OS_NOT_SUPPORTED, std::nullopt},
                      EsxiCase{"", 1, 0, Status::OS_NOT_SUPPORTED, std::nullopt},
                      // A failed query decides even when the record was filled.
                      EsxiCase{"6.7.0", 1, 2, Status::FAILED_TO_GET_OS_TYPE, std::nullopt}));

// ---- Machine type and serial number ----------------------------------------------------------

TEST(GetMachineTypeSmm, TakesWhatTheLibraryLeftWhateverItReturned) {
    InstalledMock installed;
    InstalledLogMock log;
    {
        InSequence order;
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetMachineType()"));
        EXPECT_CALL(*installed.mock, SMMInventoryCreated(ConnectionTo("10.2.0.7")));
        EXPECT_CALL(*installed.mock, SMMInventoryGetSmmMT(_, ::testing::IsEmpty()))
            .WillOnce(DoAll(SetArgReferee<1>("7C77"), Return(Tesmora::SMM_CONNECTION_FAILED)));
        EXPECT_CALL(*installed.mock, SMMInventoryGetSmmSN(_, ::testing::IsEmpty()))
            .WillOnce(Return(Tesmora::SMM_NOT_AVAILABLE));
        EXPECT_CALL(*log.sink, Logged(4, "Exit GetMachineType() for SMM"));
        EXPECT_CALL(*installed.mock, SMMInventoryDestroyed(_));
    }
    Pair machine_type = kUntouched;
    EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(7), machine_type), Status::SUCCEED);
    EXPECT_EQ(machine_type, (Pair{"7C77", ""}));
}

TEST(GetMachineTypeCmm, CutsTheMachineTypeAndAlwaysSucceeds) {
    // chassis result, machine-type-model text, pair afterwards (nullopt: untouched)
    const std::tuple<int, const char*, std::optional<Pair>> cases[] = {
        {0, "8721HC1", Pair{"8721", "23A0001"}},
        {0, "87", Pair{"87", "23A0001"}},
        {0, "", Pair{"", "23A0001"}},
        {5, "8721HC1", std::nullopt}};
    for (const auto& [result, model, expected] : cases) {
        SCOPED_TRACE(model);
        InstalledMock installed;
        InstalledLogMock log;
        Tesmora::ChassisInfo chassis{model, "23A0001", ""};
        {
            InSequence order;
            EXPECT_CALL(*log.sink, Logged(4, "Entry GetMachineType()"));
            EXPECT_CALL(*installed.mock,
                        CMMInventoryCreated(ChassisAt("10.2.0.7", 5989, "operator", "pa55")));
            EXPECT_CALL(*installed.mock, CMMInventoryGetChassisInfo(_, _))
                .WillOnce(DoAll(SetArgReferee<1>(chassis), Return(result)));
            if (result != 0) {
                EXPECT_CALL(*log.sink, Logged(2, "GetChassisInfo failed!"));
            }
            EXPECT_CALL(*log.sink, Logged(4, "Exit GetMachineType() for CMM"));
            EXPECT_CALL(*installed.mock, CMMInventoryDestroyed(_));
        }
        Pair machine_type = kUntouched;
        EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(4), machine_type), Status::SUCCEED);
        EXPECT_EQ(machine_type, expected.value_or(kUntouched));
    }
}

// Any type but those of an enclosure and a chassis is a server behind its BMC.
TEST(GetMachineTypeBmc, HandsTheSystemsListsNextToTheModuleToTheSystemCheck) {
    const std::string directory = Quendal::Testing::LoadedModuleDirectory("quendal_system_info");
    ASSERT_FALSE(directory.empty()) << "the module is not loaded";
    const std::string kSuccess = "GetMachineType() for BMC with Rest Success";
    const std::string kFail = "GetMachineType() for BMC with Rest Fail";
    // connection type, system-check result, status returned, message
    const std::tuple<std::uint32_t, Tesmora::SystemCheck::ErrorCode, int, std::string> cases[] = {
        {0, Tesmora::SystemCheck::SUCCESS, Status::SUCCEED, kSuccess},
        {1, Tesmora::SystemCheck::SUCCESS, Status::SUCCEED, kSuccess},
        {5, Tesmora::SystemCheck::CONNECTION_FAILED, 1746, kFail},
        {255, Tesmora::SystemCheck::UNSUPPORTED_SYSTEM, 1746, kFail}};
    for (const auto& [type, result, status, message] : cases) {
        SCOPED_TRACE(type);
        InstalledMock installed;
        InstalledLogMock log;
        Pair machine_type = kUntouched;
        {
            InSequence order;
            EXPECT_CALL(*log.sink, Logged(4, "Entry GetMachineType()"));
            EXPECT_CALL(*installed.mock, SystemCheckCreated(_))
                .WillOnce(Invoke([&, type = type](const Tesmora::SystemCheckTargets& targets) {
                    ASSERT_EQ(targets.connections.size(), 1u);
                    EXPECT_EQ(targets.connections[0].password, "pa55");
                    EXPECT_EQ(targets.connections[0].type, type);
                    EXPECT_THAT(targets.systems_lists,
                                ElementsAre(directory + "Pelvar_systems_list.txt",
                                            directory + "AMD_systems_list.txt",
                                            directory + "ZOR_systems_list.txt",
                                            directory + "Ostrel_systems_list.txt"));
                }));
            EXPECT_CALL(*installed.mock, SystemCheckGetMachineType(_, Ref(machine_type)))
                .WillOnce(DoAll(SetArgReferee<1>(Pair{"7X06", "J30A1B2C"}), Return(result)));
            EXPECT_CALL(*log.sink, Logged(4, message));
            EXPECT_CALL(*installed.mock, SystemCheckDestroyed(_));
        }
        EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(type), machine_type), status);
        EXPECT_EQ(machine_type, (Pair{"7X06", "J30A1B2C"}));
    }
}

// ---- Chassis firmware: shared fixture --------------------------------------------------------

class ChassisScanTest : public ::testing::Test {
protected:
    void ExpectChassis(const char* machine_type_model = "8721HC1", int result = 0) {
        Tesmora::ChassisInfo chassis;
        chassis.MachineTypeModel = machine_type_model;
        chassis.SerialNumber = "23A0001";
        EXPECT_CALL(*installed_.mock,
                    CMMInventoryCreated(ChassisAt("10.2.0.7", 5989, "operator", "pa55")));
        EXPECT_CALL(*installed_.mock, CMMInventoryIsCMM(_)).WillOnce(Return(true));
        EXPECT_CALL(*installed_.mock, CMMInventoryGetChassisInfo(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(chassis), Return(result)));
    }

    // The timer's entry line first and its two closing lines last, with body in between.
    void ExpectTimed(const char* operation, const std::vector<LevelAndText>& body) {
        const auto lines = capture_.Lines();
        ASSERT_EQ(lines.size(), body.size() + 3) << ::testing::PrintToString(lines);
        EXPECT_EQ(lines.front().first, 3u);
        EXPECT_THAT(lines.front().second,
                    StartsWith(std::string("Entering SystemInfoScan::") + operation + " at:"));
        EXPECT_EQ(std::vector<LevelAndText>(lines.begin() + 1, lines.end() - 2), body);
        EXPECT_THAT(lines[lines.size() - 2].second, StartsWith("Time consumed:"));
        EXPECT_THAT(lines.back().second,
                    StartsWith(std::string("Leaving SystemInfoScan::") + operation + " at:"));
    }

    InstalledMock installed_;
    LogCapture capture_{4};
};

// ---- CMM firmware ----------------------------------------------------------------------------

Tesmora::CMMDataList CmmData(std::initializer_list<std::pair<const char*, int>> entries) {
    Tesmora::CMMDataList list;
    for (const auto& [version, secondary] : entries) {
        Tesmora::CMMData data;
        data.FirmwareVersion = version;
        data.IsSecondary = secondary;
        list.Add(data);
    }
    return list;
}

MATCHER_P4(Record, mt, sn, id, version, "") {
    return arg.mt == mt && arg.sn == sn && arg.id == id && arg.version == version;
}
MATCHER_P3(Texts, classification, description, name, "") {
    return arg.classification == classification && arg.description == description &&
           arg.name == name;
}

TEST_F(ChassisScanTest, EndpointThatIsNotACmmGivesOnlyTheTimersMessages) {
    EXPECT_CALL(*installed_.mock, CMMInventoryCreated(_)).Times(2);
    EXPECT_CALL(*installed_.mock, CMMInventoryIsCMM(_)).Times(2).WillRepeatedly(Return(false));
    EXPECT_CALL(*installed_.mock, CMMInventoryDestroyed(_)).Times(2);
    std::vector<CMMInfo> cmms(1);
    EXPECT_EQ(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), 1552);
    EXPECT_EQ(cmms.size(), 1u);
    ExpectTimed("GetCMMSoftwareIdentity", {});
    std::vector<SwitchInfo> switches(1);
    EXPECT_EQ(SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), "1", switches), 1552);
    EXPECT_EQ(switches.size(), 1u);
    EXPECT_EQ(capture_.Lines().size(), 6u);  // the two timers' messages, nothing else
}

// The chassis read fails, yet the records carry what the library left in it.
TEST_F(ChassisScanTest, CmmRecordsAppendPrimaryAndSecondaryInListOrder) {
    {
        InSequence order;
        ExpectChassis("8721HC1", 9);
        EXPECT_CALL(*installed_.mock, CMMInventoryGetCMMData(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(CmmData({{"1.4.2", 0}, {"1.4.1", 1}, {"1.3", 7}})),
                            Return(0)));
        EXPECT_CALL(*installed_.mock, CMMInventoryDestroyed(_));
    }
    std::vector<CMMInfo> cmms{CMMInfo{"old", "old", "old", "", "", "", ""}};
    EXPECT_EQ(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), Status::SUCCEED);

    const char* primary = "Primary CMM Firmware Software Identity Information";
    const char* secondary = "Secondary CMM Firmware Software Identity Information";
    EXPECT_THAT(cmms, ElementsAre(Record("old", "old", "old", ""),
                                  AllOf(Record("8721", "23A0001", "CMM", "1.4.2"),
                                        Texts("", "Firmware for Primary CMM", primary)),
                                  AllOf(Record("8721", "23A0001", "CMM", "1.4.1"),
                                        Texts("", "Firmware for Secondary CMM", secondary)),
                                  AllOf(Record("8721", "23A0001", "CMM", "1.3"),
                                        Texts("", "Firmware for Secondary CMM", secondary))));
    ExpectTimed("GetCMMSoftwareIdentity", {{4, "GetCMMData() retCode = 0"}});
}

TEST_F(ChassisScanTest, CmmDataFailurePassesTheLibrarysCodeOn) {
    {
        InSequence order;
        ExpectChassis();
        EXPECT_CALL(*installed_.mock, CMMInventoryGetCMMData(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(CmmData({{"1.0", 0}})), Return(37)));
        EXPECT_CALL(*installed_.mock, CMMInventoryDestroyed(_));
    }
    std::vector<CMMInfo> cmms;
    EXPECT_EQ(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), 37);
    EXPECT_TRUE(cmms.empty());
    ExpectTimed("GetCMMSoftwareIdentity",
                {{4, "GetCMMData() retCode = 37"}, {1, "Failed to get CMM Data."}});
}

TEST_F(ChassisScanTest, CmmRecordsOfAnEarlierCallStayWhenALaterCallThrows) {
    {
        InSequence order;
        ExpectChassis();
        EXPECT_CALL(*installed_.mock, CMMInventoryGetCMMData(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(CmmData({{"1.0", 0}})), Return(0)));
        EXPECT_CALL(*installed_.mock, CMMInventoryDestroyed(_));
        EXPECT_CALL(*installed_.mock, CMMInventoryCreated(_));
        EXPECT_CALL(*installed_.mock, CMMInventoryIsCMM(_)).WillOnce(Return(true));
        EXPECT_CALL(*installed_.mock, CMMInventoryGetChassisInfo(_, _))
            .WillOnce(Throw(std::runtime_error("CMM session lost")));
        EXPECT_CALL(*installed_.mock, CMMInventoryDestroyed(_));
    }
    std::vector<CMMInfo> cmms;
    EXPECT_EQ(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), Status::SUCCEED);
    EXPECT_THROW(SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms), std::runtime_error);
    EXPECT_THAT(cmms, ElementsAre(Record("8721", "23A0001", "CMM", "1.0")));
    const auto lines = capture_.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_THAT(lines[lines.size() - 2].second, StartsWith("Time consumed:"));
    EXPECT_THAT(lines.back().second, StartsWith("Leaving SystemInfoScan::GetCMMSoftwareIdentity"));
}

// ---- Switch firmware -------------------------------------------------------------------------

Tesmora::CIMIOFirmware Firmware(const char* id, const char* name, std::int32_t classification,
                                const char* part3 = "") {
    Tesmora::CIMIOFirmware firmware;
    firmware.Id = id;
    firmware.Name = name;
    firmware.Version = std::string("v-") + id;
    firmware.Classification = classification;
    firmware.PassThruIdPart3 = part3;
    return firmware;
}

Tesmora::CIMIOData Module(bool pass_through, std::vector<Tesmora::CIMIOFirmware> firmware,
                          const char* part1 = "", const char* part2 = "") {
    Tesmora::CIMIOData data;
    data.IsPassThrough = pass_through;
    data.PassThruIdPart1 = part1;
    data.PassThruIdPart2 = part2;
    data.Firmware = std::move(firmware);
    return data;
}

Tesmora::CIMIODataList IoData(std::vector<Tesmora::CIMIOData> modules) {
    Tesmora::CIMIODataList list;
    for (auto& module : modules) {
        list.Add(std::move(module));
    }
    return list;
}

// Fills the fresh list the scan hands over, after checking it is fresh.
auto FillFresh(Tesmora::CIMIODataList data, int result) {
    return Invoke([data, result](const auto&, int, Tesmora::CIMIODataList& list) {
        EXPECT_EQ(list.Size(), 0u);
        list = data;
        return result;
    });
}

TEST_F(ChassisScanTest, IoModuleSwitchRecordsTrimIdsAndShortenNames) {
    {
        InSequence order;
        ExpectChassis();
        EXPECT_CALL(*installed_.mock, CMMInventoryGetSwitchType(_, 3)).WillOnce(Return(1));
        EXPECT_CALL(*installed_.mock, CMMInventoryGetIOModuleDataByBayID(_, 3, _))
            .WillOnce(FillFresh(IoData({Module(false, {Firmware("ABC   ", "Main Application", 10),
                                                       Firmware("   ", "Boot", -1),
                                                       Firmware("XYZ\t", "Uboot Image", -2)})}),
                                0));
        EXPECT_CALL(*installed_.mock, CMMInventoryDestroyed(_));
    }
    std::vector<SwitchInfo> switches;
    EXPECT_EQ(SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), " 3rd", switches),
              Status::SUCCEED);

    const char* suffix = " Firmware Software Identity Information";
    EXPECT_THAT(
        switches,
        ElementsAre(
            AllOf(Record("8721", "23A0001", "ABC", "v-ABC   "),
                  Texts("10", "Firmware for Main Applica", std::string("Main Applica") + suffix)),
            AllOf(Record("8721", "23A0001", "   ", "v-   "),
                  Texts("", "Firmware for Boot", std::string("Boot") + suffix)),
            AllOf(Record("8721", "23A0001", "XYZ\t", "v-XYZ\t"),
                  Texts("-2", "Firmware for Uboot Image", std::string("Uboot Image") + suffix))));
    ExpectTimed("GetSwitchSoftwareIdentity", {{3, "The switch is IO Module switch."},
                                              {3, "start to get data of IO Module switch."},
                                              {3, "IsPassThrough:  0"},
                                              {3, "switch_info.id  ABC   "},
                                              {3, "switch_info.id  ABC"},
                                              {3, "switch_info.version:   v-ABC   "},
                                              {3, "switch_info.id     "},
                                              {3, "switch_info.id     "},
                                              {3, "switch_info.version:   v-   "},
                                              {3, "switch_info.id  XYZ\t"},
                                              {3, "switch_info.id  XYZ\t"},
                                              {3, "switch_info.version:   v-XYZ\t"}});
}

TEST_F(ChassisScanTest, PassThroughRecordsFollowEachDataSetsOwnFlag) {
    {
        InSequence order;
        ExpectChassis();
        EXPECT_CALL(*installed_.mock, CMMInventoryGetSwitchType(_, 0)).WillOnce(Return(2));
        EXPECT_CALL(*installed_.mock, CMMInventoryGetPassThruData(_, 0, _))
            .WillOnce(FillFresh(
                IoData({Module(true, {Firmware("", "PT", 0, "Z")}, "X", "Y"),
                        Module(true, {Firmware("", "PT", 0, "")}),
                        Module(false, {Firmware("ID  ", "PT", 0, "ignored")}), Module(true, {})}),
                0));
        EXPECT_CALL(*installed_.mock, CMMInventoryDestroyed(_));
    }
    std::vector<SwitchInfo> switches;
    EXPECT_EQ(SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), "", switches),
              Status::SUCCEED);
    EXPECT_THAT(switches, ElementsAre(Record("8721", "23A0001", "X-Y-Z", "v-"),
                                      Record("8721", "23A0001", "--", "v-"),
                                      Record("8721", "23A0001", "ID", "v-ID  ")));
    const auto lines = capture_.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), LevelAndText{3, "IsPassThrough:  1"}), 3);
    EXPECT_EQ(lines[1], (LevelAndText{3, "The switch is Pass-Through switch."}));
}

// Both give 1 and an error line; only a bad module kind is also logged.
TEST_F(ChassisScanTest, SwitchFailuresGiveGenericFailureAndAnErrorLine) {
    const std::string kBadKind = "get switch type ERROR.";
    const std::string kNoData = "Get Switch Info failed";
    // module kind, data result, error line
    const std::tuple<int, int, std::string> cases[] = {
        {0, 0, kBadKind}, {3, 0, kBadKind}, {1, 4, kNoData}, {2, -1, kNoData}};
    for (const auto& [kind, data_result, error_line] : cases) {
        SCOPED_TRACE(kind);
        {
            InSequence order;
            ExpectChassis();
            EXPECT_CALL(*installed_.mock, CMMInventoryGetSwitchType(_, 12)).WillOnce(Return(kind));
            if (kind == 1) {
                EXPECT_CALL(*installed_.mock, CMMInventoryGetIOModuleDataByBayID(_, 12, _))
                    .WillOnce(
                        FillFresh(IoData({Module(false, {Firmware("A", "B", 1)})}), data_result));
            } else if (kind == 2) {
                EXPECT_CALL(*installed_.mock, CMMInventoryGetPassThruData(_, 12, _))
                    .WillOnce(
                        FillFresh(IoData({Module(true, {Firmware("A", "B", 1)})}), data_result));
            }
            EXPECT_CALL(*installed_.mock, CMMInventoryDestroyed(_));
        }
        const auto logged_before = capture_.Lines().size();
        std::vector<SwitchInfo> switches;
        ::testing::internal::CaptureStderr();
        const int status = SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), "12", switches);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), error_line + "\n");
        EXPECT_EQ(status, Status::GENERIC_FAILURE);
        EXPECT_TRUE(switches.empty());
        const auto lines = capture_.Lines();
        EXPECT_EQ(std::count(lines.begin() + logged_before, lines.end(), LevelAndText{3, kBadKind}),
                  error_line == kBadKind ? 1 : 0);
    }
}

TEST(SwitchScanOrder, InventoryDiesBeforeTheTimersClosingMessages) {
    InstalledMock installed;
    InstalledLogMock log(3);
    {
        InSequence order;
        EXPECT_CALL(*log.sink, Logged(3, StartsWith("Entering SystemInfoScan::GetSwitch")));
        EXPECT_CALL(*installed.mock, CMMInventoryCreated(_));
        EXPECT_CALL(*installed.mock, CMMInventoryIsCMM(_)).WillOnce(Return(true));
        EXPECT_CALL(*installed.mock, CMMInventoryGetChassisInfo(_, _)).WillOnce(Return(0));
        EXPECT_CALL(*installed.mock, CMMInventoryGetSwitchType(_, 2)).WillOnce(Return(1));
        EXPECT_CALL(*log.sink, Logged(3, "The switch is IO Module switch."));
        EXPECT_CALL(*log.sink, Logged(3, "start to get data of IO Module switch."));
        EXPECT_CALL(*installed.mock, CMMInventoryGetIOModuleDataByBayID(_, 2, _))
            .WillOnce(Throw(std::runtime_error("bay 2 did not answer")));
        EXPECT_CALL(*installed.mock, CMMInventoryDestroyed(_));
        EXPECT_CALL(*log.sink, Logged(3, StartsWith("Time consumed:")));
        EXPECT_CALL(*log.sink, Logged(3, StartsWith("Leaving SystemInfoScan::GetSwitch")));
    }
    std::vector<SwitchInfo> switches;
    EXPECT_THROW(SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), "2", switches),
                 std::runtime_error);
}

}  // namespace
