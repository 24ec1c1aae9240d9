// The module-directory lookup for an address that lies in no module. The directory of the module
// itself is checked where the systems lists are named, in the machine-type scan of a server.
#include <gtest/gtest.h>

#include "Src/Utility/SystemInfo/ModuleDirectory.h"

namespace {

using namespace Quendal::ModuleDirectory;

TEST(ModuleDirectory, OfAnAddressOutsideEveryModuleIsEmpty) {
    int on_the_stack = 0;
    EXPECT_EQ(GetModuleDirectory(&on_the_stack), "");
    EXPECT_EQ(GetModuleDirectory(reinterpret_cast<ModuleHandle>(0x10)), "");
}

}  // namespace
