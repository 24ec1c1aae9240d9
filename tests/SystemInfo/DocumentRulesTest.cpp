#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "Src/Utility/SystemInfo/DocumentRules.h"

namespace {

using Quendal::Document::IsAgentlessComponent;
using Quendal::Document::kAgentlessComponents;
using Quendal::Document::KeepPrintableBytes;

TEST(AgentlessComponentList, HoldsDistinctUpperCaseIdentifiers) {
    std::set<std::string_view> distinct(kAgentlessComponents.begin(), kAgentlessComponents.end());
    EXPECT_EQ(distinct.size(), kAgentlessComponents.size());
    for (std::string_view entry : kAgentlessComponents) {
        EXPECT_FALSE(entry.empty());
        EXPECT_TRUE(std::none_of(entry.begin(), entry.end(), [](char c) {
            return std::islower(static_cast<unsigned char>(c));
        })) << entry;
    }
}

struct AgentlessCase {
    const char* software_id;
    bool expected;
};

void PrintTo(const AgentlessCase& c, std::ostream* os) {
    *os << '"' << c.software_id << '"';
}

class AgentlessComponentTest : public ::testing::TestWithParam<AgentlessCase> {};

TEST_P(AgentlessComponentTest, ComparesWholeIdentifiersWithoutCase) {
    EXPECT_EQ(IsAgentlessComponent(GetParam().software_id), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Identifiers, AgentlessComponentTest,
    ::testing::Values(AgentlessCase{"SYSFW-PRIMARY", true},       // as listed
                      AgentlessCase{"sysfw-primary", true},       // lower case
                      AgentlessCase{"Sysfw-primary", true},       // first letter only
                      AgentlessCase{"fpga-BACKUP", true},         // last entry, mixed case
                      AgentlessCase{"MGMTCTL-G1-PRIMARY", true},  // first entry
                      AgentlessCase{" SYSFW-PRIMARY", false},     // leading blank
                      AgentlessCase{"SYSFW-PRIMARY ", false},     // trailing blank
                      AgentlessCase{"SYSFW", false},              // a part of an entry
                      AgentlessCase{"SYSFW-PRIMARY-2", false},    // an entry as a part
                      AgentlessCase{"", false}));

struct PrintableCase {
    std::string input;
    std::string expected;
};

void PrintTo(const PrintableCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.input);
}

class PrintableFilterTest : public ::testing::TestWithParam<PrintableCase> {};

TEST_P(PrintableFilterTest, KeepsOnlyBytesThirtyTwoToOneTwentySix) {
    std::string text = GetParam().input;
    KeepPrintableBytes(text);
    EXPECT_EQ(text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PrintableFilterTest,
    ::testing::Values(PrintableCase{"", ""}, PrintableCase{"plain text ~!", "plain text ~!"},
                      PrintableCase{"tab\there", "tabhere"},
                      PrintableCase{"line\r\nbreak\n", "linebreak"},
                      PrintableCase{std::string("nul\0byte", 8), "nulbyte"},
                      PrintableCase{" \x1f\x7f~", " ~"},  // edges: 32 kept, 31, 127 dropped
                      PrintableCase{"caf\xc3\xa9 cr\xc3\xa8me", "caf crme"},  // UTF-8 bytes vanish
                      PrintableCase{"\x80\xff", ""}));

}  // namespace
