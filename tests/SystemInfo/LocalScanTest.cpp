// The local scans driven through a scripted backend: OS recognition, drivers, disk drivers and
// the BMC's PLDM identities.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <tuple>

#include "SystemInfo.h"
#include "common/ErrorCode.h"
#include "support/LogCapture.h"
#include "support/MockBackend.h"

namespace {

namespace Status = Quendal::Status;
using Quendal::Testing::ConnectionTo;
using Quendal::Testing::InstalledLogMock;
using Quendal::Testing::InstalledMock;
using Quendal::Testing::LevelAndText;
using Quendal::Testing::LogCapture;
using ::testing::_;
using ::testing::DoAll;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::Ref;
using ::testing::Return;
using ::testing::SetArgReferee;
using ::testing::Throw;
using Pair = std::pair<std::string, std::string>;
using Identities = std::vector<Tesmora::TSOptions::SoftwareIdentity_>;

const Pair kUntouched{"previous name", "previous arch"};

struct OsCase {
    const char* os_type;
    int library_result;
    int status;
    std::optional<Pair> os_info;  // nullopt: the caller's pair stays as it was
    const char* failure_message;  // the level-1 message, or nullptr for none
};

void PrintTo(const OsCase& c, std::ostream* os) {
    *os << '"' << c.os_type << "\" result " << c.library_result;
}

class GetOSInfoTest : public ::testing::TestWithParam<OsCase> {};

TEST_P(GetOSInfoTest, RecognisesTheEditionOrLeavesThePair) {
    const OsCase& c = GetParam();
    InstalledMock installed;
    {
        InSequence order;
        EXPECT_CALL(*installed.mock, OperatingSystemCreated());
        EXPECT_CALL(*installed.mock, OperatingSystemGetOSType(::testing::IsEmpty()))
            .WillOnce(DoAll(SetArgReferee<0>(c.os_type), Return(c.library_result)));
        EXPECT_CALL(*installed.mock, OperatingSystemDestroyed());
    }
    LogCapture capture(4);
    Pair os_info = kUntouched;
    std::string reserved = "caller's text";

    EXPECT_EQ(SystemInfoScan::GetOSInfo(os_info, reserved), c.status);

    EXPECT_EQ(os_info, c.os_info.value_or(kUntouched));
    EXPECT_EQ(reserved, "caller's text");
    std::string lowered = c.os_type;
    for (char& byte : lowered) {
        byte = static_cast<char>(std::tolower(static_cast<unsigned char>(byte)));
    }
    std::vector<LevelAndText> expected{{4, "Entry GetOSInfoImpl()"},
                                       {4, "The OS type: " + lowered}};
    if (c.failure_message != nullptr) {
        expected.emplace_back(1, c.failure_message);
    }
    EXPECT_EQ(capture.Lines(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Editions, GetOSInfoTest,
    ::testing::Values(
        OsCase{"Microsoft Windows Server 2019 Datacenter", 0, Status::SUCCEED,
               Pair{"Windows Server 2019", "64 bit"}, nullptr},
        OsCase{"WINDOWS 10 PRO", 0, Status::SUCCEED, Pair{"Windows 10", "64 bit"}, nullptr},
        OsCase{"Windows 11 Enterprise", 0, Status::SUCCEED, Pair{"Windows 11", "64 bit"}, nullptr},
        // The architecture is the row's, whatever the text says.
        OsCase{"Windows 7 Professional 32-bit", 0, Status::SUCCEED, Pair{"Windows 7", "64 bit"},
               nullptr},
        OsCase{"Windows 8.1 Enterprise", 0, Status::SUCCEED, Pair{"Windows 8", "64 bit"}, nullptr},
        OsCase{"Windows Server 2008 R2 Enterprise", 0, Status::SUCCEED,
               Pair{"Win Server 2008", "64 bit"}, nullptr},
        OsCase{"Windows Server 2008 32-bit", 0, Status::SUCCEED, Pair{"Win Server 2008", "32 bit"},
               nullptr},
        OsCase{"Windows Server 2012 R2 Standard", 0, Status::SUCCEED,
               Pair{"Windows 2012 R2", "64 bit"}, nullptr},
        OsCase{"Windows Server 2012 Standard", 0, Status::SUCCEED, Pair{"Windows 2012", "64 bit"},
               nullptr},
        OsCase{"Windows Server Version 1809 on Windows Server 2019", 0, Status::SUCCEED,
               Pair{"Windows Server 2019", "64 bit"}, nullptr},
        OsCase{"Windows Server Version 1803 Datacenter", 0, Status::SUCCEED,
               Pair{"Windows Server Version 1803", "64 bit"}, nullptr},
        OsCase{"Windows PE 32-bit", 0, Status::SUCCEED, Pair{"Windows PE 32-bit", "32 bit"},
               nullptr},
        // The lower row wins when a text holds two search texts.
        OsCase{"Windows 7 shell on Windows Server 2019", 0, Status::SUCCEED,
               Pair{"Windows 7", "64 bit"}, nullptr},
        // Legacy editions are rejected without a failure message.
        OsCase{"Windows XP Professional", 0, Status::OS_NOT_SUPPORTED, std::nullopt, nullptr},
        OsCase{"Windows Server 2003 R2", 0, Status::OS_NOT_SUPPORTED, std::nullopt, nullptr},
        OsCase{"Windows Vista Business", 0, Status::OS_NOT_SUPPORTED, std::nullopt, nullptr},
        OsCase{"", 0, Status::OS_NOT_SUPPORTED, std::nullopt, "Inband mode get os type failed"},
        OsCase{"Ubuntu 20.04", 0, Status::OS_NOT_SUPPORTED, std::nullopt,
               "Inband mode get invalid os type"},
        OsCase{"Windows Server 2025", 0, Status::OS_NOT_SUPPORTED, std::nullopt,
               "Inband mode get invalid os type"},
        // A failed library call decides before the table is looked at.
        OsCase{"Windows Server 2019", 3, Status::FAILED_TO_GET_OS_TYPE, std::nullopt, nullptr},
        OsCase{"", -1, Status::FAILED_TO_GET_OS_TYPE, std::nullopt, nullptr}));

TEST(GetOSInfo, LibraryObjectOutlivesTheFailureMessageAndDiesOnThrow) {
    InstalledMock installed;
    InstalledLogMock log;
    {
        InSequence order;
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetOSInfoImpl()"));
        EXPECT_CALL(*installed.mock, OperatingSystemCreated());
        EXPECT_CALL(*installed.mock, OperatingSystemGetOSType(_))
            .WillOnce(DoAll(SetArgReferee<0>("Plan 9"), Return(0)));
        EXPECT_CALL(*log.sink, Logged(4, "The OS type: plan 9"));
        EXPECT_CALL(*log.sink, Logged(1, "Inband mode get invalid os type"));
        EXPECT_CALL(*installed.mock, OperatingSystemDestroyed());
        EXPECT_CALL(*log.sink, Logged(4, "Entry GetOSInfoImpl()"));
        EXPECT_CALL(*installed.mock, OperatingSystemCreated());
        EXPECT_CALL(*installed.mock, OperatingSystemGetOSType(_))
            .WillOnce(Throw(std::runtime_error("service stopped")));
        EXPECT_CALL(*installed.mock, OperatingSystemDestroyed());
    }
    Pair os_info = kUntouched;
    EXPECT_EQ(SystemInfoScan::GetOSInfo(os_info), Status::OS_NOT_SUPPORTED);
    EXPECT_THROW(SystemInfoScan::GetOSInfo(os_info), std::runtime_error);
    EXPECT_EQ(os_info, kUntouched);
}

TEST(GetDriverData, SelectsDriversPassesTheListOnAndMapsTheResult) {
    // all_drivers, selection asked for, library result, status returned
    const std::tuple<bool, Tesmora::DriverInfo::DriverInfoSetType, int, int> cases[] = {
        {true, Tesmora::DriverInfo::DRIVERS_ALL, 0, Status::SUCCEED},
        {false, Tesmora::DriverInfo::DRIVERS_LOADED, 0, Status::SUCCEED},
        {false, Tesmora::DriverInfo::DRIVERS_LOADED, 1745, 1745},
        {true, Tesmora::DriverInfo::DRIVERS_ALL, 1744, 1744},
        {true, Tesmora::DriverInfo::DRIVERS_ALL, 1, 1744},
        {true, Tesmora::DriverInfo::DRIVERS_ALL, -1, 1744},
        {false, Tesmora::DriverInfo::DRIVERS_LOADED, 1746, 1744}};
    for (const auto& [all_drivers, selection, library_result, status] : cases) {
        SCOPED_TRACE(library_result);
        InstalledMock installed;
        std::vector<Tesmora::DriverData> drivers(1);
        {
            InSequence order;
            EXPECT_CALL(*installed.mock, DriverInfoCreated());
            EXPECT_CALL(*installed.mock, DriverInfoListDrivers(Ref(drivers), selection))
                .WillOnce(Return(library_result));
            EXPECT_CALL(*installed.mock, DriverInfoDestroyed());
        }
        LogCapture capture(4);
        EXPECT_EQ(SystemInfoScan::GetDriverData(drivers, all_drivers), status);
        EXPECT_EQ(drivers.size(), 1u);
        EXPECT_EQ(capture.Lines(), (std::vector<LevelAndText>{{4, "Entry GetDriverData()"}}));
    }
}

TEST(GetDiskDriverSoftwareIdentity, CountsZeroAndSixAsSuccessAndLogsBeforeDestroying) {
    const char* const kSucceeded = "Inventory Inband OnBoard disk driver succeeded.";
    const char* const kFailed = "Inventory Inband OnBoard disk driver failed,retcode=";
    // library result, status returned, level and text logged
    const std::tuple<int, int, unsigned int, std::string> cases[] = {
        {0, Status::SUCCEED, 3, kSucceeded},
        {6, Status::SUCCEED, 3, kSucceeded},
        {5, Status::INTERNAL_ERROR, 1, std::string(kFailed) + "5"},
        {-3, Status::INTERNAL_ERROR, 1, std::string(kFailed) + "-3"}};
    for (const auto& [library_result, status, level, text] : cases) {
        SCOPED_TRACE(library_result);
        InstalledMock installed;
        InstalledLogMock log;
        Identities identities(2);
        {
            InSequence order;
            EXPECT_CALL(*installed.mock, DeviceCollectorCreated());
            EXPECT_CALL(*installed.mock,
                        DeviceCollectorGetDiskDriverSoftwareIdentities(Ref(identities)))
                .WillOnce(Return(library_result));
            EXPECT_CALL(*log.sink, Logged(level, text));
            EXPECT_CALL(*installed.mock, DeviceCollectorDestroyed());
        }
        EXPECT_EQ(SystemInfoScan::GetDiskDriverSoftwareIdentity(identities), status);
        EXPECT_EQ(identities.size(), 2u);
    }
}

Tesmora::TesmoraConnection::ConnectionInfo Bmc(std::uint32_t type) {
    Tesmora::TesmoraConnection::ConnectionInfo connection;
    connection.host = "10.1.1.20";
    connection.port = 443;
    connection.user = "USERID";
    connection.password = "s3cret";
    connection.type = type;
    return connection;
}

TEST(GetAgentlessSoftwareIdentity, TypeZeroAsksNoLibraryAndLeavesTheList) {
    InstalledMock installed;  // strict: any library object would fail the test
    LogCapture capture(4);
    Identities identities(1);
    identities[0].name = "kept";
    EXPECT_EQ(SystemInfoScan::GetAgentlessSoftwareIdentity(Bmc(0), identities), Status::SUCCEED);
    ASSERT_EQ(identities.size(), 1u);
    EXPECT_EQ(identities[0].name, "kept");
    EXPECT_EQ(capture.Lines(), (std::vector<LevelAndText>{{3, "Inventory agentless succeeded."}}));
}

TEST(GetAgentlessSoftwareIdentity, DestroysTheLibraryBeforeJudgingItsResult) {
    const char* const kSucceeded = "Inventory agentless succeeded.";
    const char* const kFailed = "Inventory agentless failed.";
    // connection type, library result, status returned, message
    const std::tuple<std::uint32_t, int, int, const char*> cases[] = {
        {1, 0, Status::SUCCEED, kSucceeded},
        {4, 0, Status::SUCCEED, kSucceeded},
        {1, 1, 1747, kFailed},
        {1, -1, 1747, kFailed},
        {7, 1747, 1747, kFailed}};
    for (const auto& [type, library_result, status, message] : cases) {
        SCOPED_TRACE(library_result);
        InstalledMock installed;
        InstalledLogMock log;
        Identities identities(1);
        {
            InSequence order;
            EXPECT_CALL(*installed.mock, AgentlessCreated(ConnectionTo("10.1.1.20")))
                .WillOnce(Invoke([type = type](const auto& connection) {
                    EXPECT_EQ(connection.password, "s3cret");
                    EXPECT_EQ(connection.type, type);
                }));
            EXPECT_CALL(*installed.mock, AgentlessGetPLDMSoftwareIdentities(_, Ref(identities)))
                .WillOnce(Return(library_result));
            EXPECT_CALL(*installed.mock, AgentlessDestroyed(_));
            EXPECT_CALL(*log.sink, Logged(3, message));
        }
        EXPECT_EQ(SystemInfoScan::GetAgentlessSoftwareIdentity(Bmc(type), identities), status);
    }
}

TEST(GetAgentlessSoftwareIdentity, LibraryExceptionReachesTheCallerAfterDestruction) {
    InstalledMock installed;
    InSequence order;
    EXPECT_CALL(*installed.mock, AgentlessCreated(_));
    EXPECT_CALL(*installed.mock, AgentlessGetPLDMSoftwareIdentities(_, _))
        .WillOnce(Throw(std::runtime_error("BMC closed the session")));
    EXPECT_CALL(*installed.mock, AgentlessDestroyed(_));
    Identities identities;
    EXPECT_THROW(SystemInfoScan::GetAgentlessSoftwareIdentity(Bmc(1), identities),
                 std::runtime_error);
}

}  // namespace
