// The Windows host as this machine (or Wine) describes it. Windows only by nature. The tool's
// local case checks that the disk drivers are read.
#include <gtest/gtest.h>

#include "tesmora/windows/WindowsHost.h"

namespace {

using Tesmora::DriverInfo;

TEST(WindowsHostRealSystem, NamesAWindowsEdition) {
    Tesmora::WindowsHost host;
    std::string os_type;
    ASSERT_EQ(host.ReadOsType(os_type), 0);
    EXPECT_NE(os_type.find("Windows"), std::string::npos) << os_type;
}

TEST(WindowsHostRealSystem, ListsRunningDriversAfterTheCallersOwnWithPlainPaths) {
    Tesmora::WindowsHost host;
    std::vector<Tesmora::DriverData> drivers(1);
    drivers[0].name = "kept";
    ASSERT_EQ(host.ListDrivers(drivers, DriverInfo::DRIVERS_LOADED), 0);
    ASSERT_GT(drivers.size(), 1u);
    EXPECT_EQ(drivers[0].name, "kept");
    for (std::size_t i = 1; i < drivers.size(); ++i) {
        EXPECT_FALSE(drivers[i].name.empty());
        // Paths are made plain, so that version resources can be read from them.
        EXPECT_EQ(drivers[i].file_name.find("\\SystemRoot\\"), std::string::npos);
    }
    std::vector<Tesmora::DriverData> every;
    ASSERT_EQ(host.ListDrivers(every, DriverInfo::DRIVERS_ALL), 0);
    EXPECT_GE(every.size(), drivers.size() - 1);
}

}  // namespace
