#include <gtest/gtest.h>

#include <locale>

#include "Src/Utility/SystemInfo/DocumentRules.h"
#include "Src/Utility/SystemInfo/ScanRules.h"

namespace {

using Quendal::Document::IsAgentlessComponent;

TEST(IsAgentlessComponent, ComparesWholeIdentifiersWithoutCase) {
    const std::pair<const char*, bool> cases[] = {
        {"sysfw-primary", true},   {"fpga-BACKUP", true}, {" SYSFW-PRIMARY", false},
        {"SYSFW-PRIMARY ", false}, {"SYSFW", false},      {"SYSFW-PRIMARY-2", false}};
    for (const auto& [software_id, expected] : cases) {
        EXPECT_EQ(IsAgentlessComponent(software_id), expected) << '"' << software_id << '"';
    }
}

TEST(KeepPrintableBytes, KeepsOnlyBytesThirtyTwoToOneTwentySix) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("tab\tnul\0line\r\n", 14), "tabnulline"},
        {" \x1f\x7f~", " ~"},                       // 32 and 126 kept, 31 and 127 dropped
        {"caf\xc3\xa9 cr\xc3\xa8me", "caf crme"}};  // every byte of a UTF-8 sequence goes
    for (const auto& [input, expected] : cases) {
        std::string text = input;
        Quendal::Document::KeepPrintableBytes(text);
        EXPECT_EQ(text, expected) << ::testing::PrintToString(input);
    }
}

// Maps no letter at all, so any case mapping that reaches it leaves text as it was.
struct NoCaseMapping : std::ctype<char> {
    char do_tolower(char c) const override { return c; }
    const char* do_tolower(char*, const char* high) const override { return high; }
    char do_toupper(char c) const override { return c; }
    const char* do_toupper(char*, const char* high) const override { return high; }
};

// The case mapping follows the global locale a program installs, not the C library. Across a DLL
// boundary that is the module's own runtime's on Windows, so the rules are called directly here.
TEST(GlobalLocale, DecidesCaseMappingOfOsTextsAndComponentIdentifiers) {
    const std::locale previous = std::locale::global(std::locale(std::locale(), new NoCaseMapping));
    std::string os_type = "WINDOWS 10 PRO";
    Quendal::Scan::LowerCaseInPlace(os_type);
    EXPECT_EQ(os_type, "WINDOWS 10 PRO");
    EXPECT_FALSE(IsAgentlessComponent("sysfw-primary"));
    EXPECT_TRUE(IsAgentlessComponent("SYSFW-PRIMARY"));
    std::locale::global(previous);
}

}  // namespace
