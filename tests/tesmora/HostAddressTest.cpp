// --host texts as users write them: what is read, what is refused, and that a refusal says why.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tesmora/HostAddress.h"

namespace {

using Tesmora::IsHostText;
using Tesmora::ParseHostAddress;

TEST(HostAddress, ParsesNamesAddressesAndPorts) {
    struct Row {
        const char* text;
        const char* host;
        std::optional<int> port;
    };
    const std::vector<Row> rows = {
        {"bmc1", "bmc1", std::nullopt},
        {"bmc-1.example.test.", "bmc-1.example.test.", std::nullopt},
        {"node_7:8443", "node_7", 8443},
        {"192.0.2.10", "192.0.2.10", std::nullopt},
        {"192.0.2.10:65535", "192.0.2.10", 65535},
        {"[2001:db8::1]", "2001:db8::1", std::nullopt},
        {"[2001:db8::1]:443", "2001:db8::1", 443},
        {"[::ffff:192.0.2.1]:8443", "::ffff:192.0.2.1", 8443},
        {"2001:db8::1", "2001:db8::1", std::nullopt},  // bare: all of it is the address
    };
    for (const Row& row : rows) {
        std::string why;
        const std::optional<Tesmora::HostAddress> address = ParseHostAddress(row.text, &why);
        ASSERT_TRUE(address.has_value()) << row.text << ": " << why;
        EXPECT_EQ(address->host, row.host) << row.text;
        EXPECT_EQ(address->port, row.port) << row.text;
        EXPECT_TRUE(why.empty()) << row.text;
    }
    const std::vector<std::string> refused[] = {
        // The port: missing after ':', out of range, not only digits.
        {"bmc1:", "bmc1:0", "bmc1:65536", "bmc1:8x", "bmc1:-1", "bmc1: 80"},
        // Brackets: unclosed, followed by anything but ":PORT", around anything but IPv6.
        {"[2001:db8::1", "[2001:db8::1]:", "[2001:db8::1]x", "[2001:db8::1]x80", "[2001:db8::1]]",
         "[2001:db8::1]:0", "[192.0.2.10]", "[bmc1]:443", "[]", "[1:::2]"},
        // The host itself.
        {"", ":443", "256.1.1.1:443", "user@bmc1:443", "bmc1/redfish"},
    };
    for (const std::vector<std::string>& group : refused) {
        for (const std::string& text : group) {
            std::string why;
            EXPECT_FALSE(ParseHostAddress(text, &why).has_value()) << text;
            EXPECT_FALSE(why.empty()) << text;
        }
    }
    EXPECT_FALSE(ParseHostAddress("bmc1:0").has_value()) << "works without a why";
}

TEST(HostAddress, HostTextRefusesWhatCouldChangeAUrl) {
    const std::string kLongest = std::string(63, 'a') + "." + std::string(63, 'b') + "." +
                                 std::string(63, 'c') + "." + std::string(61, 'd');  // 253
    const std::vector<std::string> refused[] = {
        // What could change the meaning of a URL.
        {"", "bmc/1", "user@bmc", "bmc 1", " bmc", "bmc\t", "bmc\n", "bmc?x", "bmc#x", "bmc%20"},
        // Host names: hyphens at the ends of a label, empty or long labels, long names.
        {"-bmc", "bmc-", "a..b", ".", ".bmc", std::string(64, 'a'), kLongest + "d"},
        // IPv4.
        {"256.1.1.1", "1.2.3", "1.2.3.4.5", "1..2.3", "1.2.3.", "1234.1.1.1"},
        // IPv6: gaps, group counts, group texts, IPv4 tails, brackets.
        {"1:::2", "1::2::3", "1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:7", "1::2:3:4:5:6:7:8",
         ":1:2:3:4:5:6:7", "1:2:3:4:5:6:7:", "12345::1", "g::1", "fe80::1%eth0", "::ffff:1.2.3",
         "::ffff:256.0.0.1", "1.2.3.4::1", "[::1]"},
    };
    for (const std::vector<std::string>& group : refused) {
        for (const std::string& host : group) {
            std::string why;
            EXPECT_FALSE(IsHostText(host, &why)) << "'" << host << "'";
            EXPECT_FALSE(why.empty()) << "'" << host << "'";
        }
    }
    const std::vector<std::string> accepted[] = {
        {"bmc", "BMC-01", "node_7", "a.b.c", "bmc.example.test.", "xn--bcher-kva.example",
         kLongest},
        {"0.0.0.0", "255.255.255.255"},
        {"::", "1::", "2001:DB8:0:0:0:0:0:1", "1:2:3:4:5:6:192.0.2.1", "::ffff:192.0.2.1"},
    };
    for (const std::vector<std::string>& group : accepted) {
        for (const std::string& host : group) {
            EXPECT_TRUE(IsHostText(host)) << "'" << host << "'";
        }
    }
}

}  // namespace
