// Case mapping goes through the global locale's ctype<char>, not the C library: a program that
// installs its own locale decides how OS texts and component identifiers compare.
//
// These call the rules directly. Across a DLL boundary the global locale is the module's own
// C++ runtime's on Windows, where each DLL carries its own runtime.
#include <gtest/gtest.h>

#include <locale>

#include "Src/Utility/SystemInfo/DocumentRules.h"
#include "Src/Utility/SystemInfo/ScanRules.h"

namespace {

// Maps no letter at all, so any case mapping that reaches it leaves text as it was.
struct NoCaseMapping : std::ctype<char> {
    char do_tolower(char c) const override { return c; }
    const char* do_tolower(char*, const char* high) const override { return high; }
    char do_toupper(char c) const override { return c; }
    const char* do_toupper(char*, const char* high) const override { return high; }
};

class GlobalLocaleTest : public ::testing::Test {
protected:
    void Install() {
        previous_ = std::locale::global(std::locale(std::locale(), new NoCaseMapping));
    }
    void TearDown() override { std::locale::global(previous_); }
    std::locale previous_ = std::locale();
};

TEST_F(GlobalLocaleTest, DecidesHowOsTypeTextsAreLowerCased) {
    std::string os_type = "WINDOWS 10 PRO";
    Quendal::Scan::LowerCaseInPlace(os_type);
    EXPECT_EQ(os_type, "windows 10 pro");

    Install();
    os_type = "WINDOWS 10 PRO";
    Quendal::Scan::LowerCaseInPlace(os_type);
    EXPECT_EQ(os_type, "WINDOWS 10 PRO");
}

TEST_F(GlobalLocaleTest, DecidesHowComponentIdentifiersCompare) {
    EXPECT_TRUE(Quendal::Document::IsAgentlessComponent("sysfw-primary"));
    Install();
    EXPECT_FALSE(Quendal::Document::IsAgentlessComponent("sysfw-primary"));
    EXPECT_TRUE(Quendal::Document::IsAgentlessComponent("SYSFW-PRIMARY"));
}

}  // namespace
