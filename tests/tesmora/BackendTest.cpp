#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "support/MockBackend.h"
#include "tesmora/DefaultBackend.h"

namespace {

using Quendal::Testing::ChassisAt;
using Quendal::Testing::InstalledMock;
using Quendal::Testing::MockBackend;
using ::testing::_;
using ::testing::DoAll;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::SetArgReferee;
using ::testing::Throw;

TEST(ScriptedBackend, SeesConstructionCallsAndDestructionInOrder) {
    InstalledMock installed;
    Tesmora::ChassisInfo scripted;
    scripted.MachineTypeModel = "8721HC1";
    {
        InSequence order;
        EXPECT_CALL(*installed.mock,
                    CMMInventoryCreated(ChassisAt("10.0.0.5", 443, "admin", "pw")));
        EXPECT_CALL(*installed.mock, CMMInventoryIsCMM(_)).WillOnce(Return(true));
        EXPECT_CALL(*installed.mock, CMMInventoryGetChassisInfo(_, _))
            .WillOnce(DoAll(SetArgReferee<1>(scripted), Return(0)));
        EXPECT_CALL(*installed.mock,
                    CMMInventoryDestroyed(ChassisAt("10.0.0.5", 443, "admin", "pw")));
    }

    Tesmora::CMMInventory inventory("10.0.0.5", 443, "admin", "pw");
    ASSERT_TRUE(inventory.IsCMM());
    Tesmora::ChassisInfo info;
    EXPECT_EQ(inventory.GetChassisInfo(info), 0);
    EXPECT_EQ(info.MachineTypeModel, "8721HC1");
}

TEST(ScriptedBackend, ConstructorThatThrowsLeavesNothingToDestroy) {
    InstalledMock installed;
    EXPECT_CALL(*installed.mock, SMMInventoryCreated(_))
        .WillOnce(Throw(std::runtime_error("no route to enclosure")));
    EXPECT_CALL(*installed.mock, SMMInventoryDestroyed(_)).Times(0);

    Tesmora::TesmoraConnection::ConnectionInfo connection;
    connection.host = "10.0.0.9";
    EXPECT_THROW(Tesmora::SMMInventory{connection}, std::runtime_error);
}

TEST(ScriptedBackend, CallThatThrowsStillDestroysTheObject) {
    InstalledMock installed;
    InSequence order;
    EXPECT_CALL(*installed.mock, DriverInfoCreated());
    EXPECT_CALL(*installed.mock, DriverInfoListDrivers(_, Tesmora::DriverInfo::DRIVERS_LOADED))
        .WillOnce(Throw(std::bad_alloc()));
    EXPECT_CALL(*installed.mock, DriverInfoDestroyed());

    std::vector<Tesmora::DriverData> drivers;
    EXPECT_THROW(Tesmora::DriverInfo().list_drivers(drivers, Tesmora::DriverInfo::DRIVERS_LOADED),
                 std::bad_alloc);
}

TEST(ScriptedBackend, ObjectsKeepTheBackendTheyWereBuiltWith) {
    auto first = std::make_shared<::testing::StrictMock<MockBackend>>();
    auto second = std::make_shared<::testing::StrictMock<MockBackend>>();
    EXPECT_CALL(*first, OperatingSystemCreated());
    EXPECT_CALL(*first, OperatingSystemGetOSType(_)).WillOnce(Return(7));
    EXPECT_CALL(*first, OperatingSystemDestroyed());

    std::optional<Tesmora::TSOperatingSystem::OperatingSystem> system;
    {
        Tesmora::ScopedBackend outer(first);
        system.emplace();
        Tesmora::ScopedBackend inner(second);
        EXPECT_EQ(Tesmora::CurrentBackend(), second);
        std::string text;
        EXPECT_EQ(system->GetOSType(text), 7);
    }
    system.reset();
    EXPECT_NE(Tesmora::CurrentBackend(), first);
    EXPECT_NE(Tesmora::CurrentBackend(), second);
}

TEST(ScriptedBackend, ServesSeveralThreadsAtOnce) {
    InstalledMock installed;
    constexpr int kThreads = 4;
    constexpr int kCallsPerThread = 50;
    EXPECT_CALL(*installed.mock, DeviceCollectorCreated()).Times(kThreads * kCallsPerThread);
    EXPECT_CALL(*installed.mock, DeviceCollectorGetDiskDriverSoftwareIdentities(_))
        .Times(kThreads * kCallsPerThread)
        .WillRepeatedly(Return(6));
    EXPECT_CALL(*installed.mock, DeviceCollectorDestroyed()).Times(kThreads * kCallsPerThread);

    std::atomic<int> sixes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kCallsPerThread; ++i) {
                std::vector<Tesmora::TSOptions::SoftwareIdentity_> identities;
                if (Tesmora::TSSystemDevice::DeviceCollector().GetDiskDriverSoftwareIdentities(
                        identities) == 6) {
                    ++sixes;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(sixes.load(), kThreads * kCallsPerThread);
}

// Without an inventory every remote endpoint is out of reach; each library says so in its own
// terms rather than pretending success.
TEST(DefaultBackend, AnswersRemoteEndpointsAsUnreachable) {
    Tesmora::ScopedBackend guard(std::make_shared<Tesmora::DefaultBackend>());
    Tesmora::TesmoraConnection::ConnectionInfo connection;
    connection.host = "192.0.2.10";

    Tesmora::CMMInventory chassis("192.0.2.10", 443, "u", "p");
    EXPECT_FALSE(chassis.IsCMM());
    Tesmora::CMMDataList cmms;
    EXPECT_NE(chassis.GetCMMData(cmms), 0);
    EXPECT_EQ(cmms.Size(), 0u);

    Tesmora::OSINFO info;
    EXPECT_NE(Tesmora::osinfo("192.0.2.10", "u", "p", 5989, Tesmora::osinfo::CIM_HTTPS)
                  .osinfoGetVersion(info),
              Tesmora::osinfo::OSINFO_SUCCESS);

    std::vector<Tesmora::TSOptions::SoftwareIdentity_> identities;
    EXPECT_NE(Tesmora::Agentless::AgentlessSoftwareIdentity(connection)
                  .GetPLDMSoftwareIdentities(identities),
              0);

    std::pair<std::string, std::string> machine{"kept", "kept"};
    EXPECT_NE(Tesmora::SystemCheck({connection}, "a", "b", "c", "d").GetMachineType(machine),
              Tesmora::SystemCheck::SUCCESS);
    EXPECT_EQ(machine, (std::pair<std::string, std::string>{"kept", "kept"}));
}

}  // namespace
