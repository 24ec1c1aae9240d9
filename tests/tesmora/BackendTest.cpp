#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "support/MockBackend.h"
#include "tesmora/InventoryBackend.h"

namespace {

using Quendal::Testing::InstalledMock;
using ::testing::_;
using ::testing::Return;

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

// A missing inventory is a path of its own; the inventory tests cover hosts it does not list.
TEST(InventoryBackend, AnswersRemoteEndpointsAsUnreachableWithoutAnInventory) {
    Tesmora::ScopedBackend guard(std::make_shared<Tesmora::InventoryBackend>(nullptr));
    Tesmora::CMMInventory chassis("192.0.2.10", 443, "u", "p");
    Tesmora::CMMDataList cmms;
    EXPECT_EQ(chassis.GetCMMData(cmms), Tesmora::InventoryBackend::kUnreachable);
    EXPECT_EQ(cmms.Size(), 0u);
}

}  // namespace
