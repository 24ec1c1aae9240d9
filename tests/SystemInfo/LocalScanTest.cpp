// The local scans driven through a scripted backend: OS recognition, drivers, disk drivers and
// the BMC's PLDM identities.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <stdexcept>
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

TEST(GetOSInfo, TakesTheFirstMatchingRowOrLeavesThePair) {
    const Pair kUntouched{"previous name", "previous arch"};
    // OS type, library result, status, pair afterwards (nullopt: untouched), level-1 message
    const std::tuple<std::string, int, int, std::optional<Pair>, std::string> cases[] = {
        {"Windows Server 2012 R2", 0, Status::SUCCEED, Pair{"Windows 2012 R2", "64 bit"}, ""},
        // The first row found decides, architecture included, whatever the text says.
        {"Windows 7 32-bit on Windows Server 2019", 0, Status::SUCCEED, Pair{"Windows 7", "64 bit"},
         ""},
        {"Windows 8.1 Enterprise", 0, Status::SUCCEED, Pair{"Windows 8", "64 bit"}, ""},
        {"WINDOWS PE 32-BIT", 0, Status::SUCCEED, Pair{"Windows PE 32-bit", "32 bit"}, ""},
        {"Windows XP Professional", 0, Status::OS_NOT_SUPPORTED, std::nullopt, ""},
        {"", 0, Status::OS_NOT_SUPPORTED, std::nullopt, "Inband mode get os type failed"},
        {"Plan 9", 0, Status::OS_NOT_SUPPORTED, std::nullopt, "Inband mode get invalid os type"},
        {"Windows Server 2019", 3, Status::FAILED_TO_GET_OS_TYPE, std::nullopt, ""}};
    for (const auto& [os_type, result, status, os_info, message] : cases) {
        SCOPED_TRACE(os_type);
        std::string lowered = os_type;
        std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                       [](unsigned char byte) { return static_cast<char>(std::tolower(byte)); });
        InstalledMock installed;
        InstalledLogMock log;
        InSequence order;
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetOSInfoImpl()"));
        EXPECT_CALL(*installed.mock, OperatingSystemCreated());
        EXPECT_CALL(*installed.mock, OperatingSystemGetOSType(IsEmpty()))
            .WillOnce(DoAll(SetArgReferee<0>(os_type), Return(result)));
        EXPECT_CALL(*log.sink, Logged(4, "The OS type: " + lowered));
        EXPECT_CALL(*log.sink, Logged(1, message)).Times(message.empty() ? 0 : 1);
        EXPECT_CALL(*installed.mock, OperatingSystemDestroyed());
        Pair pair = kUntouched;
        std::string reserved = "caller's text";
        EXPECT_EQ(SystemInfoScan::GetOSInfo(pair, reserved), status);
        EXPECT_EQ(pair, os_info.value_or(kUntouched));
        EXPECT_EQ(reserved, "caller's text");
    }
}

TEST(GetOSInfo, LibraryExceptionReachesTheCallerAfterDestruction) {
    InstalledMock installed;
    InSequence order;
    EXPECT_CALL(*installed.mock, OperatingSystemCreated());
    EXPECT_CALL(*installed.mock, OperatingSystemGetOSType(_))
        .WillOnce(Throw(std::runtime_error("service stopped")));
    EXPECT_CALL(*installed.mock, OperatingSystemDestroyed());
    Pair pair{"kept", "kept"};
    EXPECT_THROW(SystemInfoScan::GetOSInfo(pair), std::runtime_error);
    EXPECT_EQ(pair, (Pair{"kept", "kept"}));
}

TEST(GetDriverData, SelectsDriversPassesTheListOnAndMapsTheResult) {
    // all_drivers, selection asked for, library result, status returned
    const std::tuple<bool, Tesmora::DriverInfo::DriverInfoSetType, int, int> cases[] = {
        {true, Tesmora::DriverInfo::DRIVERS_ALL, 0, Status::SUCCEED},
        {false, Tesmora::DriverInfo::DRIVERS_LOADED, 1745, 1745},
        {true, Tesmora::DriverInfo::DRIVERS_ALL, 1, 1744}};
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
    // library result, status returned, level and text logged
    const std::tuple<int, int, unsigned int, std::string> cases[] = {
        {0, Status::SUCCEED, 3, "Inventory Inband OnBoard disk driver succeeded."},
        {6, Status::SUCCEED, 3, "Inventory Inband OnBoard disk driver succeeded."},
        {5, Status::INTERNAL_ERROR, 1, "Inventory Inband OnBoard disk driver failed,retcode=5"}};
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
        {1, -1, 1747, "Inventory agentless failed."}};
    for (const auto& [type, library_result, status, message] : cases) {
        SCOPED_TRACE(type);
        InstalledMock installed;
        InstalledLogMock log;
        const ConnectionInfo bmc{"10.1.1.20", 0, "", "", 0, 0, 0, type, 0};  // host and type
        Identities identities(1);
        InSequence order;
        if (type != 0) {
            EXPECT_CALL(*installed.mock, AgentlessCreated(ConnectionTo("10.1.1.20")));
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
