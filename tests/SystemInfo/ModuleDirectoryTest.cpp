// The module-directory lookup, linked into this test program so that its own directory and a
// system library's can be compared with what the loader reports.
#include <gtest/gtest.h>

#include <filesystem>

#include "Src/Utility/SystemInfo/ModuleDirectory.h"

namespace {

using namespace Quendal::ModuleDirectory;

#if defined(_WIN32)
constexpr char kSeparator = '\\';
constexpr const char* kProgram = "module_directory_tests.exe";
#else
constexpr char kSeparator = '/';
constexpr const char* kProgram = "module_directory_tests";
#endif

TEST(ModuleDirectory, OfThisProgramEndsInASeparatorAndHoldsIt) {
    const std::string directory = GetModuleDirectory(GetSelfModuleHandle());
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), kSeparator);
    EXPECT_TRUE(std::filesystem::is_regular_file(directory + kProgram)) << directory;
}

TEST(ModuleDirectory, OfAnAddressOutsideEveryModuleIsEmpty) {
    int on_the_stack = 0;
    EXPECT_EQ(GetModuleDirectory(&on_the_stack), "");
    EXPECT_EQ(GetModuleDirectory(reinterpret_cast<ModuleHandle>(0x10)), "");
}

}  // namespace
