#include <gtest/gtest.h>

#include <locale>
#include <sstream>

#include "Src/Utility/SystemInfo/DocumentRules.h"
#include "Src/Utility/SystemInfo/ScanRules.h"

namespace {

using Quendal::Document::IsAgentlessComponent;

// Every entry of the list, some in other letter cases, then identifiers that are not listed: an
// empty one (which a list padded beyond its entries would match), parts and padded ones.
TEST(IsAgentlessComponent, ComparesWholeIdentifiersWithoutCase) {
    // Blank-separated, in list order.
    std::istringstream listed(
        "MGMTCTL-G1-PRIMARY mgmtctl-g1-backup MGMTCTL-G2-PRIMARY MGMTCTL-G2-BACKUP "
        "MGMTCTL-G3-PRIMARY MGMTCTL-G3-BACKUP Mgmtctl-G3-Recovery sysfw-primary SYSFW-BACKUP "
        "DIAG-IMAGE DIAG-IMAGE-EXT PREBOOT-ENV UPDATE-TOOL DRVPACK-WIN DRVPACK-LNX drvpack-hyp "
        "CHASSIS-SWITCH-FW SMM-FW CMM-FW CPLD-SYSTEM CPLD-BACKPLANE CPLD-PSU FPGA-PRIMARY "
        "fpga-BACKUP");
    for (std::string software_id; listed >> software_id;) {
        EXPECT_TRUE(IsAgentlessComponent(software_id)) << software_id;
    }
    const char* const unlisted[] = {"",      " SYSFW-PRIMARY",  "SYSFW-PRIMARY ",
                                    "SYSFW", "SYSFW-PRIMARY-2", "MGMTCTL-G3-RECOVER"};
    for (const char* software_id : unlisted) {
        EXPECT_FALSE(IsAgentlessComponent(software_id)) << '"' << software_id << '"';
    }
}

// Maps no letter at all, so any case mapping that reaches it leaves text as it was.
struct NoCaseMapping : std::ctype<char> {
    char do_tolower(char c) const override { return c; }
    const char* do_tolower(char*, const char* high) const override { return high; }
    char do_toupper(char c) const override { return c; }
    const char* do_toupper(char*, const char* high) const override { return high; }
};

// Maps every letter to X, capitals included, so an entry matches only after going through it too.
struct EveryLetterIsX : std::ctype<char> {
    const char* do_toupper(char* low, const char* high) const override {
        for (; low != high; ++low) {
            if ((*low >= 'a' && *low <= 'z') || (*low >= 'A' && *low <= 'Z')) {
                *low = 'X';
            }
        }
        return high;
    }
};

// Under a facet handed in: both sides are mapped through it, whole, and the lengths must agree.
TEST(IsAgentlessComponent, MapsIdentifierAndEntriesThroughTheFacetItIsGiven) {
    const EveryLetterIsX every_letter_x;
    // The first two have the shape of SYSFW-PRIMARY and SYSFW-BACKUP: letters, a dash, letters.
    const std::pair<const char*, bool> cases[] = {{"abcde-fghijkl", true},
                                                  {"ABCDE-FGHIJK", true},
                                                  {"abcde-fghij", false},
                                                  {"abcdef-ghijkl", false},
                                                  {"", false}};
    for (const auto& [software_id, agentless] : cases) {
        EXPECT_EQ(IsAgentlessComponent(software_id, every_letter_x), agentless)
            << '"' << software_id << '"';
    }
}

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
