#include <gtest/gtest.h>

#include "local/windows/WindowsEdition.h"

namespace {

struct EditionCase {
    const char* product_name;
    const char* edition_id;
    unsigned long build;
    const char* os_type;
};

void PrintTo(const EditionCase& c, std::ostream* os) {
    *os << c.product_name << ' ' << c.build;
}

class WindowsOsTypeTextTest : public ::testing::TestWithParam<EditionCase> {};

TEST_P(WindowsOsTypeTextTest, ComposesNameEditionAndBuild) {
    const EditionCase& c = GetParam();
    EXPECT_EQ(Tesmora::WindowsOsTypeText(c.product_name, c.edition_id, c.build), c.os_type);
}

INSTANTIATE_TEST_SUITE_P(
    Registries, WindowsOsTypeTextTest,
    ::testing::Values(
        // Windows 11 still calls itself Windows 10 in the registry.
        EditionCase{"Windows 10 Pro", "Professional", 22631,
                    "Windows 11 Pro (Professional) build 22631"},
        EditionCase{"Windows 10 Enterprise", "Enterprise", 22000,
                    "Windows 11 Enterprise build 22000"},
        EditionCase{"Windows 10 Pro", "Professional", 19045,
                    "Windows 10 Pro (Professional) build 19045"},
        // Servers with high builds are not touched.
        EditionCase{"Windows Server 2022 Datacenter", "ServerDatacenter", 20348,
                    "Windows Server 2022 Datacenter (ServerDatacenter) build 20348"},
        EditionCase{"Windows Server 2025 Standard", "ServerStandard", 26100,
                    "Windows Server 2025 Standard (ServerStandard) build 26100"},
        EditionCase{"Microsoft Windows 7", "", 7601, "Microsoft Windows 7 build 7601"},
        EditionCase{"Windows 8.1 Pro", "", 0, "Windows 8.1 Pro"},
        EditionCase{"", "Professional", 19045, ""}));

}  // namespace
