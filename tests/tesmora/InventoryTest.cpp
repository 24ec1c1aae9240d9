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

// Mistakes the command-line tool's own runs against bad files do not make.
TEST(InventoryParse, NamesFileAndPlaceOfEveryMistake) {
    const std::pair<const char*, const char*> cases[] = {
        // The place is the line the literal breaks off on, and the text read is left out: it
        // could be part of a password.
        {"{\"hosts\": {\"h\": tru\n}}",
         ":1:20: syntax error while parsing value - invalid literal"},
        {R"({"hosts": {"h": {"credentials": {"user": "u", "password": "se\qret"}}}})",
         ":1:63: syntax error while parsing value - invalid string: forbidden character after "
         "backslash"},
        {"{}", ": at the top level: missing member \"hosts\""},
        {R"({"hosts": {"h": {"kind": "smm", "failures": {"GetCMMData": 1}}}})",
         ": at /hosts/h/failures/GetCMMData: unknown call name for a smm endpoint (expected one "
         "of GetSmmMT, GetSmmSN, GetSmmFirmware, GetPSUFirmware)"},
        {R"({"hosts": {"h": {"kind": "esxi", "failures": {"osinfoGetVersion": 7}}}})",
         ": at /hosts/h/failures/osinfoGetVersion: expected a result code from 0 to 3, found 7"},
        {R"({"hosts": {"h": {"kind": "bmc", "cmms": []}}})", ": at /hosts/h/cmms: unknown member"},
        {R"({"hosts": {"h": {"kind": "cmm", "bays": {"01": {"kind": "io-module"}}}}})",
         ": at /hosts/h/bays/01: expected a bay number in decimal digits"},
        {R"({"hosts": {"h": {"kind": "cmm", "bays": {"1": {"kind": "switch"}}}}})",
         ": at /hosts/h/bays/1/kind: unknown bay kind \"switch\" (expected io-module or "
         "pass-through)"},
        {R"({"hosts": {"h": {"kind": "esxi"}, "h": {"kind": "smm"}}})",
         ": at /hosts/h: member repeated"},
        {R"({"hosts": {"fe80::1/64": {"kind": 1}}})",
         ": at /hosts/fe80::1~164/kind: expected a string, found an integer"},
        {R"({"hosts": {"h": {"kind": "esxi", "architecture": 4294967296}}})",
         ": at /hosts/h/architecture: expected an integer, found one out of range"},
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
        {R"({"hosts": {"h": {"kind": "bmc", "identities": [{"slot_type": "2"}]}}})",
         ": at /hosts/h/identities/0/slot_type: expected an integer, found a string"},
        {R"({"hosts": {"h": {"kind": "bmc", "identities": [{}, 7]}}})",
         ": at /hosts/h/identities/1: expected an object, found an integer"},
        {R"({"hosts": {"h": {"kind": "bmc", "identities": {}}}})",
         ": at /hosts/h/identities: expected an array, found an object"},
    };
    for (const auto& [text, message] : cases) {
        std::string what;
        try {
            Inventory::Parse(text, "bad.json");
        } catch (const InventoryError& error) {
            what = error.what();
        }
        EXPECT_EQ(what, std::string("bad.json") + message) << text;
    }
}

std::string Repeated(const std::string& item, std::size_t count) {
    std::string text;
    text.reserve((item.size() + 1) * count);
    for (std::size_t index = 0; index < count; ++index) {
        text += (index == 0 ? "" : ",") + item;
    }
    return text;
}

// "h0":0,"h1":0,... as the members of one object.
std::string Members(std::size_t count) {
    std::string text;
    for (std::size_t index = 0; index < count; ++index) {
        text += (index == 0 ? "\"h" : ",\"h") + std::to_string(index) + "\":0";
    }
    return text;
}

// Whatever the parser underneath throws reaches the caller as an InventoryError, and what could
// take the machine's memory is refused while the text is parsed. Each limit is tried at its
// bound and one past it, on small bounds; the first cases show the real ones in force.
TEST(InventoryParse, RefusesWhatGoesBeyondTheLimitsAndThrowsNothingButInventoryError) {
    const InventoryLimits kSmall{100, 3, 5, 4};
    const InventoryLimits kReal{};
    const std::tuple<std::string, InventoryLimits, std::string> kCases[] = {
        // Found by the inventory fuzzer: the number ended the process.
        {R"({"hosts":{},"_x":1e400})", kReal, ": number overflow parsing '1e400'"},
        {R"({"hosts":{"h":{"kind":"esxi","architecture":-1e999}}})", kReal,
         ": number overflow parsing '-1e999'"},
        {"{\"hosts\":{},\"_x\":[" + Repeated("0", 100000) + "]}", kReal, ""},
        {"{\"hosts\":{},\"_x\":[" + Repeated("0", 100001) + "]}", kReal,
         ": at /_x/100000: more than 100000 elements in one array, the most an inventory may "
         "hold"},
        {"{\"hosts\":{},\"_x\":{" + Members(100001) + "}}", kReal,
         ": at /_x/h100000: more than 100000 members in one object, the most an inventory may "
         "hold"},
        {std::string(17, '['), kReal,
         ": at /0/0/0/0/0/0/0/0/0/0/0/0/0/0/0/0: nested deeper than 16"},
        {R"({"hosts":{}, "_x":[0,0,0]})", kSmall, ""},
        {R"({"hosts":{}, "_x":[0,0,0,0]})", kSmall,
         ": at /_x/3: more than 3 elements in one array, the most an inventory may hold"},
        {R"({"hosts":{"a":{"kind":"esxi"},"b":{"kind":"esxi"},"c":{"kind":"esxi"}}})", kSmall, ""},
        {R"({"hosts":{"a":{"kind":"esxi"},"b":{"kind":"esxi"},"c":{"kind":"esxi"},"d":0}})", kSmall,
         ": at /hosts/d: more than 3 members in one object, the most an inventory may hold"},
        {R"({"hosts":{}, "_x":[[[0]]]})", kSmall, ""},
        {R"({"hosts":{}, "_x":[[[[0]]]]})", kSmall,
         ": at /_x/0/0/0: nested deeper than 4 levels, more than an inventory has"},
        {R"({"hosts":{}, "_x":[{},{},{}]})", kSmall, ""},
        {R"({"hosts":{}, "_x":[{},{},{},{}]})", kSmall,
         ": at /_x/3: more than 5 objects in the file, the most an inventory may hold"},
        {R"({"hosts":{},"_x":")" + std::string(80, 'x') + "\"}", kSmall, ""},
        {R"({"hosts":{},"_x":")" + std::string(81, 'x') + "\"}", kSmall,
         ": larger than 100 bytes, the most an inventory may hold"},
    };
    for (const auto& [text, limits, message] : kCases) {
        std::string what;
        try {
            Inventory::Parse(text, "bad.json", limits);
        } catch (const InventoryError& error) {
            what = error.what();
        }
        EXPECT_EQ(what.substr(0, message.empty() ? std::string::npos : 8 + message.size()),
                  message.empty() ? "" : "bad.json" + message)
            << text.substr(0, 100);
    }
}

// One host of each kind, in the order of EndpointKind, all asking for the same credentials.
constexpr const char* kInventory = R"({"hosts": {
  "198.51.100.1": {"kind": "cmm", "credentials": {"user": "admin", "password": "s3cret"},
    "comment": "a remark", "cmms": [{}, {}], "bays": {"1": {"kind": "io-module", "modules": [{}]}}},
  "198.51.100.2": {"kind": "smm", "credentials": {"user": "admin", "password": "s3cret"},
    "power_supplies": [{"name": "PSU 1"}]},
  "198.51.100.3": {"kind": "bmc", "credentials": {"user": "admin", "password": "s3cret"},
    "machine_type": "QX06", "serial_number": "J30", "identities": [{"_note": "x"}]},
  "198.51.100.4": {"kind": "esxi", "credentials": {"user": "admin", "password": "s3cret"},
    "version": "6.7.0"}}})";

std::shared_ptr<Backend> Served() {
    return std::make_shared<InventoryBackend>(Inventory::Parse(kInventory, "test.json"));
}

Connection To(const char* host, const char* user, const char* password) {
    Connection connection;
    std::tie(connection.host, connection.user, connection.password) =
        std::tie(host, user, password);
    return connection;
}

// A call's result and the size of the list it was handed afterwards. Every list starts with one
// entry of the caller's, which an answer must keep.
using Result = std::pair<int, std::size_t>;

Result CMMData(const Connection& c) {
    CMMDataList list;
    list.Add({});
    return {CMMInventory(c.host, 443, c.user, c.password).GetCMMData(list), list.Size()};
}

// Bay 1 holds an I/O module, so there is no pass-through module to describe.
Result PassThruOfBay1(const Connection& c) {
    CIMIODataList list;
    list.Add({});
    return {CMMInventory(c.host, 443, c.user, c.password).GetPassThruData(1, list), list.Size()};
}

Result PowerSupplies(const Connection& c) {
    std::vector<PSUFwInfo> list(1);
    return {SMMInventory(c).GetPSUFirmware(list), list.size()};
}

Result Identities(const Connection& c) {
    std::vector<TSOptions::SoftwareIdentity_> list(1);
    return {Agentless::AgentlessSoftwareIdentity(c).GetPLDMSoftwareIdentities(list), list.size()};
}

Result OsVersion(const Connection& c) {
    OSINFO info;
    return {osinfo(c.host, c.user, c.password, 5989, osinfo::CIM_HTTPS).osinfoGetVersion(info),
            info.version.empty() ? 1u : 2u};
}

struct RemoteCall {
    const char* name;
    Result (*call)(const Connection&);
    EndpointKind kind;
    Result answer;  // from a host of that kind to its own credentials
};

// A host of the call's kind turns other credentials down (2); any other host, of another kind or
// not listed, is out of reach (1). Neither touches what the caller handed in.
TEST(InventoryBackend, OnlyAListedHostOfTheCallsKindAnswersAndOnlyToItsCredentials) {
    const RemoteCall calls[] = {
        {"GetCMMData", CMMData, EndpointKind::kCMM, {0, 3}},
        {"GetPassThruData", PassThruOfBay1, EndpointKind::kCMM, {3, 1}},
        {"GetPSUFirmware", PowerSupplies, EndpointKind::kSMM, {0, 2}},
        {"GetPLDMSoftwareIdentities", Identities, EndpointKind::kBMC, {0, 2}},
        {"osinfoGetVersion", OsVersion, EndpointKind::kESXi, {0, 2}},
    };
    const char* const hosts[] = {"198.51.100.1", "198.51.100.2", "198.51.100.3", "198.51.100.4",
                                 "198.51.100.99"};
    ScopedBackend guard(Served());
    for (const RemoteCall& call : calls) {
        for (int index = 0; index < 5; ++index) {
            SCOPED_TRACE(std::string(call.name) + " to " + hosts[index]);
            const bool served = index == static_cast<int>(call.kind);
            EXPECT_EQ(call.call(To(hosts[index], "admin", "s3cret")),
                      served ? call.answer : Result(1, 1));
            EXPECT_EQ(call.call(To(hosts[index], "admin", "S3CRET")), Result(served ? 2 : 1, 1));
            EXPECT_EQ(call.call(To(hosts[index], "root", "s3cret")), Result(served ? 2 : 1, 1));
        }
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
        EXPECT_EQ(SystemCheck({To("198.51.100.3", "admin", "s3cret")}, paths[0], paths[1], paths[2],
                              paths[3])
                      .GetMachineType(machine),
                  expected);
        EXPECT_EQ(machine,
                  expected == SystemCheck::SUCCESS ? Pair("QX06", "J30") : Pair("kept", "kept"));
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

}  // namespace
