#include <gtest/gtest.h>

#include "local/windows/WindowsEdition.h"

namespace {

TEST(WindowsOsTypeText, ComposesNameEditionAndBuild) {
    const struct {
        const char* product_name;
        const char* edition_id;
        unsigned long build;
        const char* os_type;
    } rows[] = {
        // Windows 11 still calls itself Windows 10 in the registry.
        {"Windows 10 Pro", "Professional", 22631, "Windows 11 Pro (Professional) build 22631"},
        {"Windows 10 Enterprise", "Enterprise", 22000, "Windows 11 Enterprise build 22000"},
        {"Windows 10 Pro", "Professional", 19045, "Windows 10 Pro (Professional) build 19045"},
        // Servers with high builds are not touched.
        {"Windows Server 2025 Standard", "ServerStandard", 26100,
         "Windows Server 2025 Standard (ServerStandard) build 26100"},
        {"Microsoft Windows 7", "", 7601, "Microsoft Windows 7 build 7601"},
        {"Windows 8.1 Pro", "", 0, "Windows 8.1 Pro"},
        {"", "Professional", 19045, ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Tesmora::WindowsOsTypeText(row.product_name, row.edition_id, row.build),
                  row.os_type)
            << row.product_name << ' ' << row.build;
    }
}

}  // namespace
