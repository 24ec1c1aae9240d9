// The scans driven through a scripted backend: OS recognition, drivers, disk drivers, the BMC's
// PLDM identities, hypervisor OS, machine type and serial number, and the firmware of a chassis's
// CMMs and I/O modules; then the library exceptions of every scan.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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
using Identities = std::vector<Tesmora::TSOptions::SoftwareIdentity_>;
using Tesmora::SystemCheck;

const Pair kUntouched{"previous", "previous"};
const Tesmora::ChassisInfo kChassis{"Q721HC1", "23A0001", ""};

// Every member set, and the ports apart, so that a scan passing on the wrong one is seen.
Tesmora::TesmoraConnection::ConnectionInfo Endpoint(std::uint32_t type) {
    return {"10.2.0.7", 5989, "operator", "pa55", 5988, 22, 900, type, 2};
}

// One case's strict library and strict log sink, their calls expected in the order written.
struct Scripted {
    InstalledMock installed;
    InstalledLogMock log;
    StrictMock<MockBackend>& mock = *installed.mock;
    StrictMock<MockLogSink>& sink = *log.sink;
    InSequence order;
};

template <typename List>
List ListOf(std::vector<std::decay_t<decltype(List().Get(0))>> items) {
    List list;
    for (auto& item : items) {
        list.Add(std::move(item));
    }
    return list;
}

// One row per edition row of the recognition table, then the orders that decide between rows
// whose search texts can occur in one OS type text, then texts that are not recognised.
TEST(GetOSInfo, TakesTheFirstMatchingRowOrLeavesThePair) {
    const int ok = Status::SUCCEED, rejected = Status::OS_NOT_SUPPORTED;
    const int unread = Status::FAILED_TO_GET_OS_TYPE;
    const struct {
        std::string os_type;
        int result, status;
        const char *name, *architecture;  // the pair afterwards; null: left as it was
        std::string message = "";         // logged at level 1
    } cases[] = {{"Windows NT 4.0 Workstation", 0, rejected, nullptr, nullptr},
                 {"Windows 2000 Server SP4", 0, rejected, nullptr, nullptr},
                 {"Microsoft Windows Server 2003 Standard", 0, rejected, nullptr, nullptr},
                 {"Windows XP Professional", 0, rejected, nullptr, nullptr},
                 {"Windows 2000 Datacenter Server", 0, rejected, nullptr, nullptr},
                 {"Windows 2003 Datacenter Edition", 0, rejected, nullptr, nullptr},
                 {"Windows Vista Business", 0, rejected, nullptr, nullptr},
                 {"Windows Server 2008 R2 Enterprise", 0, ok, "Win Server 2008", "64 bit"},
                 {"Windows Server 2008 32-bit Standard", 0, ok, "Win Server 2008", "32 bit"},
                 {"Windows Server 2008 64-bit Datacenter", 0, ok, "Win Server 2008", "64 bit"},
                 {"Windows 7 Ultimate", 0, ok, "Windows 7", "64 bit"},
                 {"Windows 8.1 Enterprise", 0, ok, "Windows 8", "64 bit"},
                 {"Windows 10 Pro", 0, ok, "Windows 10", "64 bit"},
                 {"Windows 11 Home", 0, ok, "Windows 11", "64 bit"},
                 {"Windows Server 2012 R2 Standard", 0, ok, "Windows 2012 R2", "64 bit"},
                 {"Windows Server 2012 Datacenter", 0, ok, "Windows 2012", "64 bit"},
                 {"Windows Server 2016 Essentials", 0, ok, "Windows 2016", "64 bit"},
                 {"Windows Server version 1709", 0, ok, "Windows Server Version 1709", "64 bit"},
                 {"Windows Server version 1803", 0, ok, "Windows Server Version 1803", "64 bit"},
                 {"Windows Server version 1810", 0, ok, "Windows Server Version 1810", "64 bit"},
                 {"Windows Server version 1904", 0, ok, "Windows Server Version 1904", "64 bit"},
                 {"Windows Server 2019 Standard", 0, ok, "Windows Server 2019", "64 bit"},
                 {"Windows Server 2022 Datacenter", 0, ok, "Windows Server 2022", "64 bit"},
                 {"WINDOWS PE 32-BIT", 0, ok, "Windows PE 32-bit", "32 bit"},
                 {"Windows PE 64-bit", 0, ok, "Windows PE 64-bit", "64 bit"},
                 // A legacy edition anywhere in the text rejects it; the first row found decides,
                 // architecture included, whatever the rest of the text says.
                 {"Windows 7 Professional with Windows XP Mode", 0, rejected, nullptr, nullptr},
                 {"Windows 7 32-bit on Windows Server 2019", 0, ok, "Windows 7", "64 bit"},
                 {"", 0, rejected, nullptr, nullptr, "Inband mode get os type failed"},
                 {"Plan 9", 0, rejected, nullptr, nullptr, "Inband mode get invalid os type"},
                 {"Windows Server 2019", 3, unread, nullptr, nullptr},
                 {"Windows Server 2019", -1, unread, nullptr, nullptr}};
    const Pair kUntouched{"previous name", "previous arch"};
    for (const auto& test : cases) {
        // The one-argument form passes the status of the other on.
        for (const bool reserved_form : {true, false}) {
            SCOPED_TRACE(test.os_type + (reserved_form ? " (reserved)" : ""));
            std::string lowered = test.os_type;
            std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            Scripted s;
            EXPECT_CALL(s.sink, Logged(4, "Entry GetOSInfoImpl()"));
            EXPECT_CALL(s.mock, OperatingSystemCreated());
            EXPECT_CALL(s.mock, OperatingSystemGetOSType(IsEmpty()))
                .WillOnce(DoAll(SetArgReferee<0>(test.os_type), Return(test.result)));
            EXPECT_CALL(s.sink, Logged(4, "The OS type: " + lowered));
            EXPECT_CALL(s.sink, Logged(1, test.message)).Times(test.message.empty() ? 0 : 1);
            EXPECT_CALL(s.mock, OperatingSystemDestroyed());
            Pair pair = kUntouched;
            std::string reserved = "caller's text";
            EXPECT_EQ(reserved_form ? SystemInfoScan::GetOSInfo(pair, reserved)
                                    : SystemInfoScan::GetOSInfo(pair),
                      test.status);
            EXPECT_EQ(pair, test.name ? Pair(test.name, test.architecture) : kUntouched);
            EXPECT_EQ(reserved, "caller's text");
        }
    }
}

TEST(GetDriverData, SelectsDriversPassesTheListOnAndMapsTheResult) {
    // all_drivers, selection asked for, library result, status returned
    const std::tuple<bool, Tesmora::DriverInfo::DriverInfoSetType, int, int> cases[] = {
        {true, Tesmora::DriverInfo::DRIVERS_ALL, 0, Status::SUCCEED},
        {false, Tesmora::DriverInfo::DRIVERS_LOADED, 1745, 1745},
        {true, Tesmora::DriverInfo::DRIVERS_ALL, -1, 1744},
        {true, Tesmora::DriverInfo::DRIVERS_ALL, 1744, 1744},
        {false, Tesmora::DriverInfo::DRIVERS_LOADED, 1746, 1744}};
    for (const auto& [all_drivers, selection, library_result, status] : cases) {
        SCOPED_TRACE(library_result);
        std::vector<Tesmora::DriverData> drivers(1);
        Scripted s;
        EXPECT_CALL(s.sink, Logged(4, "Entry GetDriverData()"));
        EXPECT_CALL(s.mock, DriverInfoCreated());
        EXPECT_CALL(s.mock, DriverInfoListDrivers(Ref(drivers), selection))
            .WillOnce(Return(library_result));
        EXPECT_CALL(s.mock, DriverInfoDestroyed());
        EXPECT_EQ(SystemInfoScan::GetDriverData(drivers, all_drivers), status);
        EXPECT_EQ(drivers.size(), 1u);
    }
}

TEST(GetDiskDriverSoftwareIdentity, CountsZeroAndSixAsSuccessAndLogsBeforeDestroying) {
    const std::string succeeded = "Inventory Inband OnBoard disk driver succeeded.";
    const std::string failed = "Inventory Inband OnBoard disk driver failed,retcode=";
    // library result, status returned, level and text logged
    const std::tuple<int, int, unsigned int, std::string> cases[] = {
        {0, Status::SUCCEED, 3, succeeded},
        {6, Status::SUCCEED, 3, succeeded},
        {-1, Status::INTERNAL_ERROR, 1, failed + "-1"},
        {1, Status::INTERNAL_ERROR, 1, failed + "1"},
        {5, Status::INTERNAL_ERROR, 1, failed + "5"},
        {7, Status::INTERNAL_ERROR, 1, failed + "7"}};
    for (const auto& [library_result, status, level, text] : cases) {
        SCOPED_TRACE(library_result);
        Identities identities(2);
        Scripted s;
        EXPECT_CALL(s.mock, DeviceCollectorCreated());
        EXPECT_CALL(s.mock, DeviceCollectorGetDiskDriverSoftwareIdentities(Ref(identities)))
            .WillOnce(Return(library_result));
        EXPECT_CALL(s.sink, Logged(level, text));
        EXPECT_CALL(s.mock, DeviceCollectorDestroyed());
        EXPECT_EQ(SystemInfoScan::GetDiskDriverSoftwareIdentity(identities), status);
        EXPECT_EQ(identities.size(), 2u);
    }
}

// Type 0 has no BMC to ask; any other type is asked, and the session ends before the verdict.
TEST(GetAgentlessSoftwareIdentity, DestroysTheLibraryBeforeJudgingItsResult) {
    // connection type, library result, status returned, message
    const std::tuple<std::uint32_t, int, int, const char*> cases[] = {
        {0, 1, Status::SUCCEED, "Inventory agentless succeeded."},
        {4, 0, Status::SUCCEED, "Inventory agentless succeeded."},
        {1, -1, 1747, "Inventory agentless failed."},
        {7, 1, 1747, "Inventory agentless failed."}};
    for (const auto& [type, library_result, status, message] : cases) {
        SCOPED_TRACE(type);
        Identities identities(1);
        Scripted s;
        if (type != 0) {
            EXPECT_CALL(s.mock, AgentlessCreated(SameConnection(Endpoint(type))));
            EXPECT_CALL(s.mock, AgentlessGetPLDMSoftwareIdentities(_, Ref(identities)))
                .WillOnce(Return(library_result));
            EXPECT_CALL(s.mock, AgentlessDestroyed(_));
        }
        EXPECT_CALL(s.sink, Logged(3, message));
        EXPECT_EQ(SystemInfoScan::GetAgentlessSoftwareIdentity(Endpoint(type), identities), status);
        EXPECT_EQ(identities.size(), 1u);
    }
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
        {"6.5.0", 1, 1, Status::FAILED_TO_GET_OS_TYPE, std::nullopt}};
    for (const auto& [version, architecture, result, status, os_info] : cases) {
        SCOPED_TRACE(std::string(version) + " result " + std::to_string(result));
        Scripted s;
        EXPECT_CALL(s.sink, Logged(4, "Entry GetEsxiOSInfo"));
        EXPECT_CALL(s.mock, OsInfoCreated(OsInfoAt("10.2.0.7", "operator", "pa55", 5989, 1)));
        EXPECT_CALL(s.mock, OsInfoGetVersion(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(Tesmora::OSINFO{version, "", architecture}),
                            Return(static_cast<Tesmora::osinfo::OSINFORETURNCODE>(result))));
        EXPECT_CALL(s.sink, Logged(1, "Inband mode don't support os type"))
            .Times(status == Status::OS_NOT_SUPPORTED ? 1 : 0);
        EXPECT_CALL(s.mock, OsInfoDestroyed(_));
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
        Scripted s;
        EXPECT_CALL(s.sink, Logged(4, "Entry GetMachineType()"));
        EXPECT_CALL(s.mock, SMMInventoryCreated(SameConnection(Endpoint(7))));
        EXPECT_CALL(s.mock, SMMInventoryGetSmmMT(_, IsEmpty()))
            .WillOnce(DoAll(SetArgReferee<1>(mt), Return(mt_result)));
        EXPECT_CALL(s.mock, SMMInventoryGetSmmSN(_, IsEmpty()))
            .WillOnce(DoAll(SetArgReferee<1>(sn), Return(sn_result)));
        EXPECT_CALL(s.sink, Logged(4, "Exit GetMachineType() for SMM"));
        EXPECT_CALL(s.mock, SMMInventoryDestroyed(_));
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
        {"Q721HC1", -1, std::nullopt}};
    for (const auto& [model, result, machine_type] : cases) {
        SCOPED_TRACE(std::string(model) + " result " + std::to_string(result));
        Scripted s;
        EXPECT_CALL(s.sink, Logged(4, "Entry GetMachineType()"));
        EXPECT_CALL(s.mock, CMMInventoryCreated(ChassisAt("10.2.0.7", 5989, "operator", "pa55")));
        EXPECT_CALL(s.mock, CMMInventoryGetChassisInfo(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(Tesmora::ChassisInfo{model, "23A0001", "C1"}),
                            Return(result)));
        EXPECT_CALL(s.sink, Logged(2, "GetChassisInfo failed!")).Times(result == 0 ? 0 : 1);
        EXPECT_CALL(s.sink, Logged(4, "Exit GetMachineType() for CMM"));
        EXPECT_CALL(s.mock, CMMInventoryDestroyed(_));
        Pair pair = kUntouched;
        EXPECT_EQ(SystemInfoScan::GetMachineType(Endpoint(4), pair), Status::SUCCEED);
        EXPECT_EQ(pair, machine_type.value_or(kUntouched));
    }
}

// Any other endpoint is a server behind its BMC: the system-check library fills the pair itself,
// and what it left stays there whatever it returned. The systems lists lie next to the module, as
// the loader reports it, separator included.
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
        Scripted s;
        Pair pair = kUntouched;
        EXPECT_CALL(s.sink, Logged(4, "Entry GetMachineType()"));
        EXPECT_CALL(s.mock, SystemCheckCreated(
                                AllOf(Field(&Tesmora::SystemCheckTargets::connections,
                                            ElementsAre(SameConnection(Endpoint(type)))),
                                      Field(&Tesmora::SystemCheckTargets::systems_lists, lists))));
        EXPECT_CALL(s.mock, SystemCheckGetMachineType(_, Ref(pair)))
            .WillOnce(DoAll(SetArgReferee<1>(left), Return(result)));
        EXPECT_CALL(s.sink, Logged(4, result == SystemCheck::SUCCESS
                                          ? "GetMachineType() for BMC with Rest Success"
                                          : "GetMachineType() for BMC with Rest Fail"));
        EXPECT_CALL(s.mock, SystemCheckDestroyed(_));
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

    // Logged since the last look: timer's entry line, body, inventory going, timer's two closing
    // lines (whose texts the timer's own tests check).
    void ExpectTimed(const std::string& operation, Lines body) {
        Lines lines = capture_.Lines();
        lines.erase(lines.begin(), lines.begin() + seen_);
        seen_ += lines.size();
        body.emplace_back(1, "inventory destroyed");
        ASSERT_EQ(lines.size(), body.size() + 3) << PrintToString(lines);
        const std::string name = "SystemInfoScan::" + operation + " at:";
        EXPECT_THAT(lines.front(), ::testing::Pair(3u, StartsWith("Entering " + name)));
        EXPECT_EQ(Lines(lines.begin() + 1, lines.end() - 2), body);
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
        {"12", 12, 3, 0, unknown},          {" +7th", 7, 0, 0, unknown},
        {"-2", -2, -1, 0, unknown},         {"010", 10, 3, 0, unknown},
        {"0x1A", 0, 3, 0, unknown},         {"", 0, 2, 4, kPassThroughLines},
        {"2", 2, 2, -1, kPassThroughLines}, {"1", 1, 1, 3, kIOModuleLines},
        {"1", 1, 1, -1, kIOModuleLines}};
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
    int taken = 0;    // library steps taken in this run of a scan
    int failing = 0;  // the step that throws
    int alive = 0;    // library objects constructed and not destroyed yet
    // A library step: throws when it is the failing one, else adds change to alive and answers.
    const auto step = [&](auto value, int change = 0) {
        return [&, value, change](auto&&...) {
            if (++taken == failing) {
                throw std::runtime_error("step " + std::to_string(taken));
            }
            alive += change;
            return value;
        };
    };
    const auto created = step(0, 1);
    const auto destroyed = [&](auto&&...) { --alive; };
    auto& m = *mock;
    ON_CALL(m, OperatingSystemCreated).WillByDefault(created);
    ON_CALL(m, OperatingSystemGetOSType).WillByDefault(step(0));
    ON_CALL(m, OperatingSystemDestroyed).WillByDefault(destroyed);
    ON_CALL(m, OsInfoCreated).WillByDefault(created);
    ON_CALL(m, OsInfoGetVersion).WillByDefault(step(Tesmora::osinfo::OSINFO_SUCCESS));
    ON_CALL(m, OsInfoDestroyed).WillByDefault(destroyed);
    ON_CALL(m, DriverInfoCreated).WillByDefault(created);
    ON_CALL(m, DriverInfoListDrivers).WillByDefault(step(0));
    ON_CALL(m, DriverInfoDestroyed).WillByDefault(destroyed);
    ON_CALL(m, DeviceCollectorCreated).WillByDefault(created);
    ON_CALL(m, DeviceCollectorGetDiskDriverSoftwareIdentities).WillByDefault(step(0));
    ON_CALL(m, DeviceCollectorDestroyed).WillByDefault(destroyed);
    ON_CALL(m, AgentlessCreated).WillByDefault(created);
    ON_CALL(m, AgentlessGetPLDMSoftwareIdentities).WillByDefault(step(0));
    ON_CALL(m, AgentlessDestroyed).WillByDefault(destroyed);
    ON_CALL(m, SMMInventoryCreated).WillByDefault(created);
    ON_CALL(m, SMMInventoryGetSmmMT).WillByDefault(step(Tesmora::SMM_SUCCESS));
    ON_CALL(m, SMMInventoryGetSmmSN).WillByDefault(step(Tesmora::SMM_SUCCESS));
    ON_CALL(m, SMMInventoryDestroyed).WillByDefault(destroyed);
    ON_CALL(m, SystemCheckCreated).WillByDefault(created);
    ON_CALL(m, SystemCheckGetMachineType).WillByDefault(step(SystemCheck::SUCCESS));
    ON_CALL(m, SystemCheckDestroyed).WillByDefault(destroyed);
    ON_CALL(m, CMMInventoryCreated).WillByDefault(created);
    ON_CALL(m, CMMInventoryIsCMM).WillByDefault(step(true));
    ON_CALL(m, CMMInventoryGetChassisInfo).WillByDefault(step(0));
    ON_CALL(m, CMMInventoryGetCMMData).WillByDefault(step(0));
    // The bay's number is its switch type, so that each kind of module can be reached.
    ON_CALL(m, CMMInventoryGetSwitchType).WillByDefault([&](auto&&, int bay) {
        return step(bay)();
    });
    ON_CALL(m, CMMInventoryGetIOModuleDataByBayID).WillByDefault(step(0));
    ON_CALL(m, CMMInventoryGetPassThruData).WillByDefault(step(0));
    ON_CALL(m, CMMInventoryDestroyed).WillByDefault(destroyed);

    Pair pair;
    std::vector<Tesmora::DriverData> drivers;
    Identities identities;
    std::vector<CMMInfo> cmms;
    std::vector<SwitchInfo> switches;
    const std::function<void()> scans[] = {
        [&] { SystemInfoScan::GetOSInfo(pair); },
        [&] { SystemInfoScan::GetEsxiOSInfo(Endpoint(9), pair); },
        [&] { SystemInfoScan::GetDriverData(drivers, true); },
        [&] { SystemInfoScan::GetDiskDriverSoftwareIdentity(identities); },
        [&] { SystemInfoScan::GetAgentlessSoftwareIdentity(Endpoint(1), identities); },
        [&] { SystemInfoScan::GetMachineType(Endpoint(7), pair); },
        [&] { SystemInfoScan::GetMachineType(Endpoint(4), pair); },
        [&] { SystemInfoScan::GetMachineType(Endpoint(1), pair); },
        [&] { SystemInfoScan::GetCMMSoftwareIdentity(Endpoint(4), cmms); },
        [&] { SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), "1", switches); },
        [&] { SystemInfoScan::GetSwitchSoftwareIdentity(Endpoint(4), "2", switches); }};
    for (std::size_t scan = 0; scan < std::size(scans); ++scan) {
        // Until a run takes every step without reaching the failing one.
        bool reached = true;
        for (failing = 1; reached && failing <= 10; ++failing) {
            SCOPED_TRACE("scan " + std::to_string(scan) + " step " + std::to_string(failing));
            taken = 0;
            std::string caught;
            try {
                scans[scan]();
            } catch (const std::runtime_error& error) {
                caught = error.what();
            }
            reached = taken >= failing;
            EXPECT_EQ(caught, reached ? "step " + std::to_string(failing) : "");
            EXPECT_EQ(alive, 0);
            alive = 0;
        }
        // Every scan has a library object to construct and something to ask it.
        EXPECT_FALSE(reached);
        EXPECT_GE(taken, 2) << "scan " << scan;
    }
}

}  // namespace
