#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <thread>

#include "support/MockBackend.h"
#include "tesmora/InventoryBackend.h"

namespace {

using Quendal::Testing::ChassisAt;
using Quendal::Testing::InstalledMock;
using ::testing::_;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::Throw;

// The mocks are strict: a call nobody scripted, such as a stray destruction, fails the test.
TEST(ScriptedBackend, SeesConstructionCallsAndDestructionInOrder) {
    InstalledMock installed;
    InSequence order;
    EXPECT_CALL(*installed.mock, CMMInventoryCreated(ChassisAt("10.0.0.5", 443, "admin", "pw")));
    EXPECT_CALL(*installed.mock, CMMInventoryIsCMM(_)).WillOnce(Return(true));
    EXPECT_CALL(*installed.mock, CMMInventoryGetChassisInfo(_, _))
        .WillOnce(::testing::DoAll(
            ::testing::SetArgReferee<1>(Tesmora::ChassisInfo{"Q721HC1", "", ""}), Return(0)));
    EXPECT_CALL(*installed.mock, CMMInventoryDestroyed(ChassisAt("10.0.0.5", 443, "admin", "pw")));

    Tesmora::CMMInventory inventory("10.0.0.5", 443, "admin", "pw");
    EXPECT_TRUE(inventory.IsCMM());
    Tesmora::ChassisInfo info;
    EXPECT_EQ(inventory.GetChassisInfo(info), 0);
    EXPECT_EQ(info.MachineTypeModel, "Q721HC1");
}

// Only an object whose constructor returned is destroyed, whatever its calls throw.
TEST(ScriptedBackend, ThrowingConstructorLeavesNothingToDestroyAThrowingCallStillDestroys) {
    InstalledMock installed;
    InSequence order;
    EXPECT_CALL(*installed.mock, SMMInventoryCreated(_)).WillOnce(Throw(std::runtime_error("")));
    EXPECT_CALL(*installed.mock, DriverInfoCreated());
    EXPECT_CALL(*installed.mock, DriverInfoListDrivers(_, Tesmora::DriverInfo::DRIVERS_LOADED))
        .WillOnce(Throw(std::bad_alloc()));
    EXPECT_CALL(*installed.mock, DriverInfoDestroyed());

    EXPECT_THROW(Tesmora::SMMInventory{Tesmora::TesmoraConnection::ConnectionInfo()},
                 std::runtime_error);
    std::vector<Tesmora::DriverData> drivers;
    EXPECT_THROW(Tesmora::DriverInfo().list_drivers(drivers, Tesmora::DriverInfo::DRIVERS_LOADED),
                 std::bad_alloc);
}

TEST(ScriptedBackend, ObjectsKeepTheBackendTheyWereBuiltWith) {
    auto first = std::make_shared<::testing::StrictMock<Quendal::Testing::MockBackend>>();
    EXPECT_CALL(*first, OperatingSystemCreated());
    EXPECT_CALL(*first, OperatingSystemGetOSType(_)).WillOnce(Return(7));
    EXPECT_CALL(*first, OperatingSystemDestroyed());
    auto guard = std::make_unique<Tesmora::ScopedBackend>(first);
    Tesmora::TSOperatingSystem::OperatingSystem system;
    guard.reset();
    EXPECT_NE(Tesmora::CurrentBackend(), first);
    InstalledMock now_current;  // strict and unscripted
    std::string text;
    EXPECT_EQ(system.GetOSType(text), 7);
}

TEST(ScriptedBackend, ServesSeveralThreadsAtOnce) {
    InstalledMock installed;
    EXPECT_CALL(*installed.mock, DeviceCollectorCreated()).Times(200);
    EXPECT_CALL(*installed.mock, DeviceCollectorGetDiskDriverSoftwareIdentities(_)).Times(200);
    EXPECT_CALL(*installed.mock, DeviceCollectorDestroyed()).Times(200);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 50; ++i) {
                std::vector<Tesmora::TSOptions::SoftwareIdentity_> ids;
                Tesmora::TSSystemDevice::DeviceCollector().GetDiskDriverSoftwareIdentities(ids);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

// A missing inventory is a path of its own; the inventory tests cover hosts it does not list.
TEST(InventoryBackend, AnswersRemoteEndpointsAsUnreachableWithoutAnInventory) {
    Tesmora::ScopedBackend guard(std::make_shared<Tesmora::InventoryBackend>(nullptr));
    Tesmora::CMMInventory chassis("192.0.2.10", 443, "u", "p");
    Tesmora::CMMDataList cmms;
    EXPECT_EQ(chassis.GetCMMData(cmms), Tesmora::InventoryBackend::kUnreachable);
    EXPECT_EQ(cmms.Size(), 0u);
}

}  // namespace
