#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tesmora/Backend.h"
#include "tesmora/Inventory.h"
#include "tesmora/InventoryBackend.h"

namespace {

namespace fs = std::filesystem;
using namespace Tesmora;
using Connection = TesmoraConnection::ConnectionInfo;

// "0,0,...,0": count elements of an array.
std::string Zeros(std::size_t count) {
    std::string text(2 * count - 1, ',');
    for (std::size_t at = 0; at < text.size(); at += 2) {
        text[at] = '0';
    }
    return text;
}

// Mistakes the command-line tool's own runs against bad files do not make, and the limits.
TEST(InventoryParse, NamesFileAndPlaceOfEveryMistakeAndRefusesWhatGoesBeyondTheLimits) {
    const InventoryLimits kSmall{100, 3, 5, 4};
    struct Case {
        std::string text;
        std::string message;
        InventoryLimits limits{};
    };
    const Case cases[] = {
        // The place is the line the literal breaks off on, and the text read is left out: it
        // could be part of a password.
        {"{\"hosts\": {\"h\": tru\n}}",
         ":1:20: syntax error while parsing value - invalid literal"},
        {"{}", ": at the top level: missing member \"hosts\""},
        {R"({"hosts": {"h": {"kind": "smm", "failures": {"GetCMMData": 1}}}})",
         ": at /hosts/h/failures/GetCMMData: unknown call name for a smm endpoint (expected one "
         "of GetSmmMT, GetSmmSN, GetSmmFirmware, GetPSUFirmware)"},
        {R"({"hosts": {"h": {"kind": "esxi", "failures": {"osinfoGetVersion": 7}}}})",
         ": at /hosts/h/failures/osinfoGetVersion: expected a result code from 0 to 3, found 7"},
        {R"({"hosts": {"h": {"kind": "cmm", "bays": {"01": {"kind": "io-module"}}}}})",
         ": at /hosts/h/bays/01: expected a bay number in decimal digits"},
        {R"({"hosts": {"h": {"kind": "cmm", "bays": {"1": {"kind": "switch"}}}}})",
         ": at /hosts/h/bays/1/kind: unknown bay kind \"switch\" (expected io-module or "
         "pass-through)"},
        {R"({"hosts": {"h": {"kind": "esxi"}, "h": {"kind": "smm"}}})",
         ": at /hosts/h: member repeated"},
        {R"({"hosts": {"fe80::1/64": {"kind": 1}}})",
         ": at /hosts/fe80::1~164/kind: expected a string, found an integer"},
        {R"({"hosts": {"h": {"kind": "smm", "credentials": {"user": "u"}}}})",
         ": at /hosts/h/credentials: missing member \"password\""},
        // Software identities, the bulk of a large inventory, are read by a path of their own:
        // unknown members in the object's order first, then wrong types in the record's order.
        {R"({"hosts": {"h": {"kind": "bmc", "identities": [{"name": "a"}, {"vendor": "x"}]}}})",
         ": at /hosts/h/identities/1/vendor: unknown member"},
        {R"({"hosts": {"h": {"kind": "bmc", "identities": [{"zz": 1, "release_date": 2}]}}})",
         ": at /hosts/h/identities/0/zz: unknown member"},
        {R"({"hosts": {"h": {"kind": "bmc", "identities": [{"software_id": 1, "release_date": 2}]}}})",
         ": at /hosts/h/identities/0/software_id: expected a string, found an integer"},
        {R"({"hosts": {"h": {"kind": "bmc", "identities": [{"_n": 1, "slot_type": 2147483648}]}}})",
         ": at /hosts/h/identities/0/slot_type: expected an integer, found one out of range"},
        {R"({"hosts": {"h": {"kind": "bmc", "identities": {}}}})",
         ": at /hosts/h/identities: expected an array, found an object"},
        // Whatever the parser underneath throws reaches the caller as an InventoryError, and what
        // could take the machine's memory is refused while the text is parsed. Each limit is
        // tried at its bound and one past it, on small bounds (an empty message: read); the
        // first two show the real bounds in force.
        {"{\"hosts\":{},\"_x\":[" + Zeros(100001) + "]}",
         ": at /_x/100000: more than 100000 elements in one array, the most an inventory may "
         "hold"},
        {std::string(17, '['),
         ": at /0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0: nested deeper than 16 levels, more than an "
         "inventory has"},
        {R"({"hosts":{}, "_x":[0,0,0]})", "", kSmall},
        {R"({"hosts":{}, "_x":[0,0,0,0]})",
         ": at /_x/3: more than 3 elements in one array, the most an inventory may hold", kSmall},
        {R"({"hosts":{"a":{"kind":"esxi"},"b":{"kind":"esxi"},"c":{"kind":"esxi"}}})", "", kSmall},
        {R"({"hosts":{"a":{"kind":"esxi"},"b":{"kind":"esxi"},"c":{"kind":"esxi"},"d":0}})",
         ": at /hosts/d: more than 3 members in one object, the most an inventory may hold",
         kSmall},
        {R"({"hosts":{}, "_x":[[[0]]]})", "", kSmall},
        {R"({"hosts":{}, "_x":[[[[0]]]]})",
         ": at /_x/0/0/0: nested deeper than 4 levels, more than an inventory has", kSmall},
        {R"({"hosts":{}, "_x":[{},{},{}]})", "", kSmall},
        {R"({"hosts":{}, "_x":[{},{},{},{}]})",
         ": at /_x/3: more than 5 objects in the file, the most an inventory may hold", kSmall},
        {R"({"hosts":{},"_x":")" + std::string(80, 'x') + "\"}", "", kSmall},
        {R"({"hosts":{},"_x":")" + std::string(81, 'x') + "\"}",
         ": larger than 100 bytes, the most an inventory may hold", kSmall},
    };
    for (const Case& c : cases) {
        std::string what;
        try {
            Inventory::Parse(c.text, "bad.json", c.limits);
        } catch (const InventoryError& error) {
            what = error.what();
        }
        EXPECT_EQ(what, c.message.empty() ? "" : "bad.json" + c.message) << c.text;
    }
}

constexpr const char* kInventory = R"({"hosts": {
  "198.51.100.3": {"kind": "bmc", "credentials": {"user": "admin", "password": "s3cret"},
    "machine_type": "QX06", "serial_number": "J30", "identities": [{"_note": "x"}]}}})";

std::shared_ptr<Backend> Served() {
    return std::make_shared<InventoryBackend>(Inventory::Parse(kInventory, "test.json"));
}

Connection To(const char* user, const char* password) {
    Connection connection;
    std::tie(connection.host, connection.user, connection.password) =
        std::tie("198.51.100.3", user, password);
    return connection;
}

// The tool's cases against the example inventory cover each kind's answers, a wrong password,
// a host of another kind and one not listed. Left here: the user counts as much as the
// password, and a refusal leaves the caller's list (one entry of its own) as it was.
TEST(InventoryBackend, RefusesAnotherUserAsAnotherPasswordAndWritesNothing) {
    const std::tuple<const char*, const char*, int, std::size_t> rows[] = {
        {"admin", "s3cret", 0, 2}, {"root", "s3cret", 2, 1}, {"admin", "S3CRET", 2, 1}};
    ScopedBackend guard(Served());
    for (const auto& [user, password, result, size] : rows) {
        std::vector<TSOptions::SoftwareIdentity_> list(1);
        EXPECT_EQ(Agentless::AgentlessSoftwareIdentity(To(user, password))
                      .GetPLDMSoftwareIdentities(list),
                  result)
            << user << "/" << password;
        EXPECT_EQ(list.size(), size) << user << "/" << password;
    }
}

// Each list is looked for at the path the module gives, here in the library directory, and only
// when missing there in the install's shared data folder, where the build puts it from there.
TEST(InventoryBackend, SystemCheckAcceptsOnlyListedMachineTypes) {
    using Pair = std::pair<std::string, std::string>;
    using Lists = std::vector<std::optional<std::string>>;
    const std::optional<std::string> none;  // the list file is missing
    const Lists no_shared{none, none, none, none};
    const std::tuple<Lists, Lists, int> cases[] = {
        {{none, none, none, none}, no_shared, SystemCheck::SYSTEMS_LIST_UNREADABLE},
        {{"", "# QX06 retired\nQX07\n\n", none, "QX0\n"},
         no_shared,
         SystemCheck::UNSUPPORTED_SYSTEM},
        {{none, none, none, "# header\r\n\r\n  QX06  # mid-2023\r\n"},
         no_shared,
         SystemCheck::SUCCESS},
        {{none, "QX07\r\nQX06\r\n", none, none}, no_shared, SystemCheck::SUCCESS},
        {{none, none, none, none}, {none, none, "QX06\n", none}, SystemCheck::SUCCESS},
        {{"QX07\n", none, none, none},
         {"QX06\n", none, none, none},
         SystemCheck::UNSUPPORTED_SYSTEM},
    };
    const fs::path dir =
        fs::temp_directory_path() / ("quendal-inventory-" + std::to_string(std::random_device{}()));
    const fs::path lib = dir / "lib" / "multiarch";
    const fs::path shared = (lib / QUENDAL_LISTS_FROM_LIBDIR).lexically_normal();
    fs::create_directories(lib);
    fs::create_directories(shared);
    std::string paths[4];
    ScopedBackend guard(Served());
    for (const auto& [lists, shared_lists, expected] : cases) {
        for (int index = 0; index < 4; ++index) {
            const std::string name = "list" + std::to_string(index) + ".txt";
            paths[index] = (lib / name).string();
            fs::remove(paths[index]);
            fs::remove(shared / name);
            if (lists[index]) {
                std::ofstream(paths[index], std::ios::binary) << *lists[index];
            }
            if (shared_lists[index]) {
                std::ofstream(shared / name, std::ios::binary) << *shared_lists[index];
            }
        }
        Pair machine{"kept", "kept"};
        EXPECT_EQ(SystemCheck({To("admin", "s3cret")}, paths[0], paths[1], paths[2], paths[3])
                      .GetMachineType(machine),
                  expected);
        EXPECT_EQ(machine,
                  expected == SystemCheck::SUCCESS ? Pair("QX06", "J30") : Pair("kept", "kept"));
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

}  // namespace
