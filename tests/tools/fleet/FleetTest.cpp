// The fleet's parts that need no endpoint: the endpoint file reader, document names and shards,
// the endpoint file written again with pins, the workers the open-file limit allows, the progress
// line, and the summary's file and table. The runs themselves are in fleet_cases.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "FleetFile.h"
#include "FleetPins.h"
#include "FleetScan.h"
#include "Password.h"
#include "Progress.h"
#include "Summary.h"
#include "tools/Scratch.h"

namespace {

using namespace Quendal::Tool;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

const std::optional<std::string> kPrivate;  // no objection to inline passwords

// The problems ParseFleetFile finds, one per line; empty when it accepts the text.
std::string ProblemsOf(const std::string& text) {
    return Quendal::Testing::ErrorOf([&] { ParseFleetFile(text, "f", "", kPrivate); });
}

constexpr const char* kHeader = "kind,host,port,bay,user,password_env\n";

// Pins of invented keys: 32 zero bytes, 32 bytes 0xFF, and 32 bytes of text.
const std::string kPin0 = "sha256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
const std::string kPinF = "sha256://////////////////////////////////////////8=";
const std::string kPinT = "sha256:dGhyZWU6IGFuIGludmVudGVkIDMyLWJ5dGUga2V5ISE=";

TEST(FleetFile, ReadsBothFormsAlike) {
    const std::string csv = std::string("# a comment, then a blank line\n\n") + kHeader +
                            "server, 192.0.2.30 ,,,ops,PW\n"
                            "switch,cmm1.example.net:8443,,255,,\n"
                            "esxi,[2001:DB8::40],,,,\n"
                            "\"smm\",\"192.0.2.20\",\"444\",,\"a \"\"quoted\"\" user\",PW\r\n";
    const std::string json = R"({"endpoints": [
        {"kind": "server", "host": " 192.0.2.30 ", "user": "ops", "password_env": "PW"},
        {"kind": "switch", "host": "cmm1.example.net:8443", "bay": 255},
        {"kind": "esxi",
         "host": "[2001:DB8::40]"},
        {"kind": "smm", "host": "192.0.2.20", "port": 444, "user": "a \"quoted\" user",
         "password_env": "PW"}]})";
    struct Expected {
        FleetKind kind;
        const char* host;
        std::uint16_t port;
        const char* bay;
        const char* user;
        PasswordFrom from;
        std::size_t csv_line, json_line;
    };
    const std::vector<Expected> expected = {
        {FleetKind::kServer, "192.0.2.30", 443, "", "ops", PasswordFrom::kEnvironment, 4, 2},
        {FleetKind::kSwitch, "cmm1.example.net", 8443, "255", "", PasswordFrom::kDefault, 5, 3},
        {FleetKind::kEsxi, "2001:DB8::40", 5989, "", "", PasswordFrom::kDefault, 6, 4},
        {FleetKind::kSmm, "192.0.2.20", 444, "", "a \"quoted\" user", PasswordFrom::kEnvironment, 7,
         6},
    };
    for (const bool is_json : {false, true}) {
        SCOPED_TRACE(is_json ? "JSON" : "CSV");
        // JSON trims nothing: its host " 192.0.2.30 " is no host.
        EXPECT_NE(ProblemsOf(json).find("f:2: host: "), std::string::npos) << ProblemsOf(json);
        const std::string text =
            is_json ? std::string(json).replace(json.find(" 192.0.2.30 "), 12, "192.0.2.30") : csv;
        const FleetFile file = ParseFleetFile(text, "f", "", kPrivate);
        EXPECT_EQ(file.json, is_json);
        ASSERT_EQ(file.endpoints.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const FleetEndpoint& got = file.endpoints[i];
            SCOPED_TRACE(got.text);
            EXPECT_EQ(got.kind, expected[i].kind);
            EXPECT_EQ(got.host, expected[i].host);
            EXPECT_EQ(got.port, expected[i].port);
            EXPECT_EQ(got.bay, expected[i].bay);
            EXPECT_EQ(got.user, expected[i].user);
            EXPECT_EQ(got.password_from, expected[i].from);
            EXPECT_EQ(got.line, is_json ? expected[i].json_line : expected[i].csv_line);
        }
    }
}

// An unknown kind, and what needs the environment or the inventory, are run through the tool
// (fleet_bad_endpoint_files).
TEST(FleetFile, TellsEveryProblemWithItsLineAndField) {
    struct Row {
        const char* label;
        std::string text;
        std::vector<const char*> problems;  // each a part of one line of the message
    };
    const std::string server = std::string(kHeader) + "server,192.0.2.30,,,ops,PW\n";
    const std::vector<Row> rows = {
        {"missing kind and host",
         std::string(kHeader) + ",,,,,\n",
         {"f:2: kind: missing", "f:2: host: missing"}},
        {"host with a path", std::string(kHeader) + "server,192.0.2.1/x,,,,\n", {"f:2: host: "}},
        {"port out of range",
         std::string(kHeader) + "server,192.0.2.1,65536,,,\n",
         {"f:2: port: '65536' is not a number from 1 to 65535"}},
        {"ports disagree",
         std::string(kHeader) + "server,192.0.2.1:8443,443,,,\n",
         {"f:2: port: 443, while host names port 8443"}},
        {"switch without bay",
         std::string(kHeader) + "switch,192.0.2.1,,,,\n",
         {"f:2: bay: missing"}},
        {"bay out of range",
         std::string(kHeader) + "switch,192.0.2.1,,256,,\n",
         {"f:2: bay: '256' is not a bay number from 1 to 255"}},
        {"bay on a server",
         std::string(kHeader) + "server,192.0.2.1,,1,,\n",
         {"f:2: bay: only a switch has one, not a server"}},
        {"two password sources",
         "kind,host,password_env,password_file\nserver,h1,A,pw.txt\n",
         {"f:2: password: give one of password_env, password_file and password"}},
        {"variable with =",
         "kind,host,password_env\nserver,h1,A=B\n",
         {"f:2: password_env: 'A=B' is not the name of an environment variable"}},
        {"duplicate, letter case aside",
         server + "server,192.0.2.30:443,,,,\n" +
             "server,HOST.example,,,,\nserver,host.EXAMPLE,,,,\n",
         {"f:3: host: 192.0.2.30:443 (server) is already listed on line 2",
          "f:5: host: host.EXAMPLE:443 (server) is already listed on line 4"}},
        {"duplicate bay",
         "kind,host,bay\nswitch,h1,2\nswitch,h1,02\n",
         {"f:3: host: h1:443 bay 2 (switch) is already listed on line 2"}},
        {"column twice", "kind,host,host\n", {"f:1: column host named twice"}},
        {"too few fields", server + "server,h2\n", {"f:3: 2 fields, while the header names 6"}},
        {"open quote", server + "server,\"h2,,,,\n", {"f:3: a quote is not closed"}},
        {"text after a quote",
         server + "server,\"h2\"x,,,,\n",
         {"f:3: text after a closing quote"}},
        {"no header", "# nothing\n\n", {"f:1: no header row"}},
        {"JSON not an object list", R"({"endpoints": {}})", {"f: expected an object holding"}},
        {"JSON syntax", "{\"endpoints\": [\n{\"kind\": }]}", {"f: not valid JSON", "line 2"}},
        {"JSON field types",
         R"({"endpoints": [{"kind": "server", "host": "h1"},
            {"kind": "server", "host": "h2", "bay": -1, "user": 7, "pasword_env": "A"},
            "h3"]})",
         {"f:2: bay: expected a number or a text, not -1", "f:2: user: expected a text, not 7",
          "f:2: pasword_env: not a field of an endpoint", "f:3: endpoint 3 is not an object"}},
        {"pin without its kind",
         "kind,host,pin\nserver,h1,AAAA\n",
         {"f:2: pin: 'AAAA' is not a pin: a pin starts with sha256:"}},
        {"pin of another length",
         "kind,host,pin\nserver,h1,sha256:AAAA\n",
         {"f:2: pin: 'sha256:AAAA' is not a pin: the base64 after sha256: has 4 characters, "
          "while a SHA-256 takes 44"}},
        {"pins, one not base64",
         "kind,host,pin\nserver,h1,\"" + kPin0 + " " + kPinF.substr(0, 49) + "!=\"\n",
         {"is not a pin: the text after sha256: is not the base64 of a SHA-256"}},
        {"pin with bits beyond the hash",
         "kind,host,pin\nserver,h1," + kPin0.substr(0, 49) + "B=\n",
         {"is not a pin: the text after sha256: is not the base64 of a SHA-256"}},
        {"one certificate pinned two ways",
         "kind,host,bay,pin\ncmm,h1,," + kPin0 + "\nswitch,H1:443,1,\"" + kPinF + " " + kPin0 +
             "\"\nswitch,h1,2,\n",
         {"f:3: pin: not the pins of line 2, which names the same host and port"}},
        {"JSON pin types",
         R"({"endpoints": [{"kind": "server", "host": "h1", "pin": 7},
            {"kind": "server", "host": "h2", "pin": ["sha256:x", 1]}]})",
         {"f:1: pin: expected a text or a list of texts, not 7",
          "f:2: pin: expected a text or a list of texts, not [\"sha256:x\",1]"}},
        {"JSON braces inside texts",
         "{\"endpoints\": [{\"kind\": \"server\", \"host\": \"a\"},\n"
         "{\"user\": \"{\\\"[\", \"kind\": \"server\", \"host\": \"a\"}]}",
         {"f:2: host: a:443 (server) is already listed on line 1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const std::string problems = ProblemsOf(row.text);
        std::size_t lines = std::count(problems.begin(), problems.end(), '\n') + 1;
        for (const char* expected : row.problems) {
            EXPECT_NE(problems.find(expected), std::string::npos) << problems;
        }
        EXPECT_LE(lines, row.problems.size()) << problems;
    }
}

// fleet pin writes the file again: only the pins change, each line or object as it was written.
// Pins are read in either spelling (sha256: or sha256//), any number of them, spaces aside.
TEST(FleetFile, ReadsPinsAndWritesItselfAgainWithThem) {
    const std::string slashes = "sha256//" + kPinF.substr(7);
    const struct {
        const char* label;
        std::string text;
        std::vector<std::string> first_pins;  // as read
        std::vector<std::vector<std::string>> pins;
        std::string written;
    } rows[] = {
        {"CSV without a pin column",
         "# lab\r\nkind,host,user\r\n\nserver,h1,\"a, b\"\r\n# old\nserver,h2,\n",
         {},
         {{kPin0}, {}},
         "# lab\r\nkind,host,user,pin\r\n\nserver,h1,\"a, b\"," + kPin0 +
             "\r\n# old\nserver,h2,,\n"},
        {"CSV with one, after a quoted comma",
         "kind,user, \"pin\" ,host\nserver,ops,\"" + slashes + "\",h1\nserver,\"o,\"\"ps\"\"\", " +
             kPinT + " ,h2\ncmm,ops,,h3",
         {kPinF},
         {{kPinF}, {kPin0, kPinF}, {kPinT}},
         "kind,user, \"pin\" ,host\nserver,ops,\"" + slashes + "\",h1\nserver,\"o,\"\"ps\"\"\"," +
             kPin0 + " " + kPinF + ",h2\ncmm,ops," + kPinT + ",h3"},
        {"JSON",
         R"({"endpoints": [{"kind": "server", "host": "h1", "pin": ")" + slashes +
             R"("}, {"kind": "server", "host": "h2", "user": "ops"},
             {"kind": "server", "host": "h3", "pin": ")" +
             kPin0 + R"("}]})",
         {kPinF},
         {{kPinF}, {kPin0, kPinT}, {}},
         "{\n    \"endpoints\": [\n        {\"host\":\"h1\",\"kind\":\"server\",\"pin\":\"" +
             slashes + "\"},\n        {\"host\":\"h2\",\"kind\":\"server\",\"pin\":[\"" + kPin0 +
             "\",\"" + kPinT +
             "\"],\"user\":\"ops\"},\n        {\"host\":\"h3\",\"kind\":\"server\"}\n    ]\n}\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        const FleetFile file = ParseFleetFile(row.text, "f", "", kPrivate);
        EXPECT_EQ(file.endpoints[0].pins, row.first_pins);
        const std::string written = FileWithPins(row.text, file, row.pins);
        EXPECT_EQ(written, row.written);
        const FleetFile back = ParseFleetFile(written, "f", "", kPrivate);
        ASSERT_EQ(back.endpoints.size(), row.pins.size());
        for (std::size_t i = 0; i < row.pins.size(); ++i) {
            EXPECT_EQ(back.endpoints[i].pins, row.pins[i]);
            EXPECT_EQ(back.endpoints[i].user, file.endpoints[i].user);
        }
    }
}

TEST(FleetFile, NamesDocumentsSafelyOnEveryPlatform) {
    const FleetFile file = ParseFleetFile(
        "kind,host,bay\nserver,192.0.2.30,\nesxi,HV1.Example.NET,\nsmm,[2001:db8::20],\n"
        "switch,cmm1:8443,3\n",
        "f", "", kPrivate);
    const std::vector<std::string> names = {
        "server-192.0.2.30-443.json", "esxi-hv1.example.net-5989.json", "smm-2001_db8__20-443.json",
        "switch-cmm1-8443-bay3.json"};
    ASSERT_EQ(file.endpoints.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(DocumentNameOf(file.endpoints[i], "json"), names[i]);
    }
    EXPECT_EQ(LabelOf(file.endpoints[2]), "[2001:db8::20]:443");
    EXPECT_EQ(LabelOf(file.endpoints[3]), "cmm1:8443 bay 3");
}

// Shards must come out the same on every machine that runs one, and keep a chassis's CMM and
// switches (one log-in) together.
TEST(FleetFile, SplitsIntoStableShardsThatKeepAnEndpointTogether) {
    std::string text = "kind,host,bay\n";
    for (int i = 0; i < 60; ++i) {
        text += "server,bmc" + std::to_string(i) + ".example.net,\n";
    }
    text += "cmm,CMM1.example.net,\nswitch,cmm1.example.net,1\nswitch,cmm1.example.net,2\n";
    const FleetFile file = ParseFleetFile(text, "f", "", kPrivate);
    const std::size_t shards = 3;
    std::vector<std::size_t> sizes(shards, 0);
    for (const FleetEndpoint& endpoint : file.endpoints) {
        const std::size_t shard = ShardOf(endpoint, shards);
        ASSERT_LT(shard, shards);
        ++sizes[shard];
    }
    for (const std::size_t size : sizes) {
        EXPECT_GE(size, 10u) << "a hash that spreads 63 endpoints this unevenly is broken";
    }
    const std::size_t chassis = ShardOf(file.endpoints[60], shards);
    EXPECT_EQ(ShardOf(file.endpoints[61], shards), chassis);
    EXPECT_EQ(ShardOf(file.endpoints[62], shards), chassis);
    // FNV-1a of "bmc0.example.net:443" and "bmc1.example.net:443", pinned: another machine
    // computing them otherwise would scan some endpoints twice and others never.
    EXPECT_EQ(ShardOf(file.endpoints[0], 1000003), 55281u);
    EXPECT_EQ(ShardOf(file.endpoints[1], 1000003), 557959u);
}

TEST(FleetScan, RunsAsManyScansAsTheOpenFileLimitLeavesRoomFor) {
    const struct {
        std::size_t limit, in_use, expected;
    } kCases[] = {
        {0, 3, 16},                         // no limit
        {1024, 3, 16},                      // room for all
        {40, 3, 5},                         // (40 - 3 - beside) / 5
        {3 + kFilesBesideScans + 5, 3, 1},  // room for exactly one
        {3 + kFilesBesideScans + 4, 3, 0},  // not even one
        {3 + kFilesBesideScans, 3, 0},      // nothing left
        {5, 3, 0},                          // less than in use: no wrap-around
        {40, 40 - kFilesBesideScans, 0},
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(std::to_string(test.limit) + " " + std::to_string(test.in_use));
        EXPECT_EQ(ScansWithin(16, FileBudget{test.limit, test.in_use, 5}), test.expected);
    }
}

TEST(Progress, SaysDoneFailedRateAndTimeLeft) {
    const struct {
        std::size_t done, total, failed, cancelled, here;
        double seconds;
        const char* text;
    } rows[] = {
        {0, 200, 0, 0, 0, 0.0, "0/200 done, 0 failed, - /s, - left"},
        {10, 200, 1, 0, 10, 2.0, "10/200 done, 1 failed, 5.0/s, 0:38 left"},
        // Skipped endpoints count as done, but not towards the rate.
        {110, 200, 0, 0, 10, 4.0, "110/200 done, 0 failed, 2.5/s, 0:36 left"},
        {1, 9000, 0, 0, 1, 1.0, "1/9000 done, 0 failed, 1.0/s, 2:29:59 left"},
        {200, 200, 3, 0, 200, 8.0, "200/200 done, 3 failed, 25.0/s, 0:00 left"},
        {5, 8, 1, 2, 5, 1.0, "5/8 done, 1 failed, 2 cancelled, 5.0/s, 0:01 left"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Progress::Status(row.done, row.total, row.failed, row.cancelled, row.here,
                                   std::chrono::duration<double>(row.seconds)),
                  row.text);
    }
}

TEST(Progress, RedrawsOneLineOnATerminalAndWritesLinesElsewhere) {
    std::chrono::steady_clock::time_point now{};
    const auto clock = [&now] { return now; };
    std::ostringstream bar, lines, quiet;
    Progress on_terminal(bar, Progress::Mode::kBar, 4, 1, clock);
    Progress in_log(lines, Progress::Mode::kLines, 4, 1, clock);
    Progress silent(quiet, Progress::Mode::kQuiet, 4, 1, clock);
    for (Progress* progress : {&on_terminal, &in_log, &silent}) {
        now += 1s;
        progress->Finished("server h1:443", "ok", "", 0.4);
        progress->Finished("server h2:443", "failed", "refused \x1b[2J\nforged", 1.5);
        progress->Finished("server h3:443", "cancelled", "cancelled", 0.1);
        progress->Say("stopping");
        progress->End();
    }
    EXPECT_EQ(lines.str(),
              "quendal-sysinfo: fleet: 2/4 server h1:443: ok, 0.4 s\n"
              "quendal-sysinfo: fleet: 3/4 server h2:443: failed, 1.5 s: refused "
              "\\x1b[2J\\x0aforged\n"
              "quendal-sysinfo: fleet: 4/4 server h3:443: cancelled, 0.1 s: cancelled\n"
              "stopping\n");
    EXPECT_EQ(quiet.str(), "stopping\n");
    const std::string drawn = bar.str();
    // The notice gets a line of its own, blanked to the end of the bar it replaces.
    const std::size_t notice = drawn.find("\rstopping");
    ASSERT_NE(notice, std::string::npos) << drawn;
    EXPECT_EQ(drawn.find_first_not_of(' ', notice + 9), drawn.find('\n')) << drawn;
    EXPECT_NE(drawn.find("\rquendal-sysinfo: fleet: [#####               ] 1/4 done, 0 failed"),
              std::string::npos)
        << drawn;
    EXPECT_NE(drawn.find("] 3/4 done, 1 failed, 2.0/s, 0:01 left"), std::string::npos) << drawn;
    // A cancelled endpoint is not counted as failed: the summary tells the two apart.
    EXPECT_NE(drawn.find("] 4/4 done, 1 failed, 1 cancelled, 3.0/s"), std::string::npos) << drawn;
    EXPECT_EQ(drawn.back(), '\n');
    EXPECT_EQ(drawn.find('\x1b'), std::string::npos) << "a cause reached the terminal raw";
}

EndpointOutcome Outcome(const char* status, std::vector<std::string> causes = {}) {
    EndpointOutcome outcome;
    outcome.kind = "server";
    outcome.host = "2001:db8::30";
    outcome.port = 443;
    outcome.status = status;
    outcome.causes = std::move(causes);
    return outcome;
}

// A run's exit status: 3 where an endpoint has no document, else 6 where one lacks a part.
TEST(Summary, RunStatusTellsFailedBeforePartial) {
    const std::pair<std::vector<const char*>, int> rows[] = {
        {{kStatusOk, kStatusResumed}, 0},
        {{kStatusOk, kStatusPartial, kStatusResumed}, 6},
        {{kStatusPartial, kStatusFailed}, 3},
        {{kStatusOk, kStatusCancelled}, 3},
    };
    for (const auto& [statuses, wanted] : rows) {
        std::vector<EndpointOutcome> outcomes;
        for (const char* status : statuses) {
            outcomes.push_back(Outcome(status));
        }
        EXPECT_EQ(RunStatus(outcomes), wanted) << statuses.size() << " " << statuses.back();
    }
}

TEST(Summary, ReadsBackWhatItWroteWithBadBytesReplaced) {
    FleetSummary summary;
    summary.interrupted = true;
    summary.seconds = 12.3456;
    EndpointOutcome ok = Outcome(kStatusOk);
    ok.scans = {{"GetMachineType", 0, "Succeed."}};
    ok.packages = 3;
    ok.document = "server-2001_db8__30-443.json";
    ok.notes = {"note: machine type 3500 is on none of the systems lists"};
    EndpointOutcome failed = Outcome(kStatusFailed, {"not a Redfish service (\xff\xfe)\n\x1b[2J"});
    failed.host = "cmm1";
    failed.kind = "switch";
    failed.bay = "2";
    failed.scans = {{"GetSwitchSoftwareIdentity", 1, "Failed."}};
    summary.endpoints = {ok, failed, Outcome(kStatusNotScanned, {"the run was stopped"})};

    const std::string path = (fs::temp_directory_path() / "quendal-fleet-summary.json").string();
    std::ofstream(path, std::ios::binary) << SummaryJson(summary);
    const FleetSummary back = ReadSummary(path);
    EXPECT_TRUE(back.interrupted);
    EXPECT_NEAR(back.seconds, 12.345, 0.001);
    ASSERT_EQ(back.endpoints.size(), 3u);
    EXPECT_EQ(back.endpoints[0].packages, std::optional<std::size_t>(3));
    EXPECT_EQ(back.endpoints[0].document, ok.document);
    EXPECT_EQ(back.endpoints[0].notes, ok.notes);
    EXPECT_EQ(back.endpoints[0].scans[0].meaning, "Succeed.");
    EXPECT_EQ(back.endpoints[1].bay, "2");
    EXPECT_EQ(
        back.endpoints[1].causes,
        std::vector<std::string>{"not a Redfish service (\xEF\xBF\xBD\xEF\xBF\xBD)\n\x1b[2J"});
    EXPECT_EQ(back.endpoints[1].packages, std::nullopt);
    EXPECT_EQ(back.endpoints[2].status, kStatusNotScanned);

    EXPECT_EQ(SummaryTable(back),
              "ENDPOINT            KIND    STATUS       PACKAGES  SECONDS  CAUSE\n"
              "[2001:db8::30]:443  server  ok                  3     0.00\n"
              "cmm1:443 bay 2      switch  failed              -     0.00  not a Redfish service "
              "(\xEF\xBF\xBD\xEF\xBF\xBD)\\x0a\\x1b[2J\n"
              "[2001:db8::30]:443  server  not scanned         -     0.00  the run was stopped\n"
              "3 endpoints: 1 ok, 1 failed, 1 not scanned (the run was stopped)\n");

    const struct {
        const char* text;
        const char* error;
    } bad[] = {
        {"[]", "not a fleet summary (not a JSON object)"},
        {R"({"summary_version": 3})", "summary_version 2"},
    };
    for (const auto& row : bad) {
        std::ofstream(path, std::ios::binary) << row.text;
        const std::string error = Quendal::Testing::ErrorOf([&] { ReadSummary(path); });
        EXPECT_NE(error.find(row.error), std::string::npos) << row.text << " gave: " << error;
    }
    fs::remove(path);
}

}  // namespace
