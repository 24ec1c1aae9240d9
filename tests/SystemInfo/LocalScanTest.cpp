// The local scans driven through a scripted backend: OS recognition, drivers, disk drivers and
// the BMC's PLDM identities.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <tuple>

#include "SystemInfo.h"
#include "common/ErrorCode.h"
#include "support/LogCapture.h"
#include "support/MockBackend.h"

namespace {

namespace Status = Quendal::Status;
using namespace ::testing;
using namespace Quendal::Testing;
using Pair = std::pair<std::string, std::string>;
using Identities = std::vector<Tesmora::TSOptions::SoftwareIdentity_>;
using ConnectionInfo = Tesmora::TesmoraConnection::ConnectionInfo;

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
            InstalledMock installed;
            InstalledLogMock log;
            InSequence order;
            EXPECT_CALL(*log.sink, Logged(4, "Entry GetOSInfoImpl()"));
            EXPECT_CALL(*installed.mock, OperatingSystemCreated());
            EXPECT_CALL(*installed.mock, OperatingSystemGetOSType(IsEmpty()))
                .WillOnce(DoAll(SetArgReferee<0>(test.os_type), Return(test.result)));
            EXPECT_CALL(*log.sink, Logged(4, "The OS type: " + lowered));
            EXPECT_CALL(*log.sink, Logged(1, test.message)).Times(test.message.empty() ? 0 : 1);
            EXPECT_CALL(*installed.mock, OperatingSystemDestroyed());
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
        {true, Tesmora::DriverInfo::DRIVERS_ALL, 1, 1744},
        {false, Tesmora::DriverInfo::DRIVERS_LOADED, -1, 1744},
        {true, Tesmora::DriverInfo::DRIVERS_ALL, 1744, 1744},
        {false, Tesmora::DriverInfo::DRIVERS_LOADED, 1746, 1744}};
    for (const auto& [all_drivers, selection, library_result, status] : cases) {
        SCOPED_TRACE(library_result);
        InstalledMock installed;
        InstalledLogMock log;
        std::vector<Tesmora::DriverData> drivers(1);
        InSequence order;
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetDriverData()"));
        EXPECT_CALL(*installed.mock, DriverInfoCreated());
        EXPECT_CALL(*installed.mock, DriverInfoListDrivers(Ref(drivers), selection))
            .WillOnce(Return(library_result));
        EXPECT_CALL(*installed.mock, DriverInfoDestroyed());
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
        InstalledMock installed;
        InstalledLogMock log;
        Identities identities(2);
        InSequence order;
        EXPECT_CALL(*installed.mock, DeviceCollectorCreated());
        EXPECT_CALL(*installed.mock,
                    DeviceCollectorGetDiskDriverSoftwareIdentities(Ref(identities)))
            .WillOnce(Return(library_result));
        EXPECT_CALL(*log.sink, Logged(level, text));
        EXPECT_CALL(*installed.mock, DeviceCollectorDestroyed());
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
        InstalledMock installed;
        InstalledLogMock log;
        const ConnectionInfo bmc{"10.1.1.20", 443, "operator", "pa55", 5989, 22, 900, type, 2};
        Identities identities(1);
        InSequence order;
        if (type != 0) {
            EXPECT_CALL(*installed.mock, AgentlessCreated(SameConnection(bmc)));
            EXPECT_CALL(*installed.mock, AgentlessGetPLDMSoftwareIdentities(_, Ref(identities)))
                .WillOnce(Return(library_result));
            EXPECT_CALL(*installed.mock, AgentlessDestroyed(_));
        }
        EXPECT_CALL(*log.sink, Logged(3, message));
        EXPECT_EQ(SystemInfoScan::GetAgentlessSoftwareIdentity(bmc, identities), status);
        EXPECT_EQ(identities.size(), 1u);
    }
}

}  // namespace
