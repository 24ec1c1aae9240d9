#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Diff.h"
#include "JsonDocument.h"
#include "Output.h"
#include "tools/Scratch.h"

namespace {

using boost::property_tree::ptree;
using Quendal::Tool::Format;
using Quendal::Tool::Render;
using Quendal::Tool::StoredDocument;
using Fields = std::vector<std::pair<std::string, std::string>>;

const Fields kScalars = {{"MT", " QX06 "}, {"SN", "J30A"}, {"OS", "Windows 10"}};

ptree Document(const std::vector<Fields>& packages, const Fields& scalars = kScalars) {
    ptree document;
    for (const auto& [key, value] : scalars) {
        document.add("CONTENT." + key, value);
    }
    for (const Fields& package : packages) {
        document.add_child("CONTENT.PACKAGES.PACKAGE", Document({}, package).get_child("CONTENT"));
    }
    return document;
}

Fields Package(const std::string& id, const std::string& name, const std::string& version) {
    return {{"NAME", name}, {"SOFTWAREID", id}, {"VERSION", version}};
}

const Fields kNic = Package("NIC", "Adapter", "22.3");

// Documents read back whole in each format are the tool's (json_reads_back_unchanged and
// xml_reads_back_unchanged); a file that cannot be opened is output_tests'.
TEST(ReadDocument, TellsTheFormatByContentAndNamesTheFileAndLineOfAnError) {
    const Quendal::Testing::ScratchDirectory scratch;
    const std::string path = scratch / "document";
    const std::pair<std::string, std::string> kCases[] = {
        {R"({"schema_version": 2, "CONTENT": {}})",
         ": schema_version 2 is not one this tool reads"},
        {"\n \t<CONTENT>\n<MT>x</MT>\n<SN \"x\"/>\n</CONTENT>\n", ":4: "},
        {"CONTENT\n{\nMT x\n", ":4: unmatched {"},
        {"{\"OTHER\": {}}", ": no CONTENT document"},
    };
    for (const auto& [text, error] : kCases) {
        std::ofstream(path, std::ios::binary) << text;
        const std::string result =
            Quendal::Testing::ErrorOf([&] { Quendal::Tool::ReadDocument(path); });
        EXPECT_EQ(result.rfind(path + error, 0), 0u) << text << " gave: " << result;
    }
}

// Documents stored in the old JSON form, and a JSON document without packages, are read back
// through the tool (old_json_reads_like_new, fleet_fleet_diff).

// The compact JSON reader must read exactly what the tree reader, reduced afterwards, reads: on
// what it takes, the same document; on the rest, nothing, so that the tree reader names the fault.
// The document_reader fuzzer holds the two to that on any bytes; here one row per branch.
TEST(ReadJsonDocument, TakesWhatTheTreeReaderTakesAndReadsItAlike) {
    const auto content = [](const std::string& inner) { return "{\"CONTENT\": " + inner + "}"; };
    const std::pair<std::string, bool> kCases[] = {
        {content(R"({"A": "\u00e9\ud83d\ude00\u0000\/\b\f\n\r\t\"\\", "B": "\u00E9x"})"), true},
        {content("{\"A\": \"\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xc0\x80 \x7f\"}"), true},
        {content(R"({"N": -0.5e+3, "M": 10E-2, "Z": 0, "T": true, "F": false, "U": null})"), true},
        {content(R"({"A": "1", "A": "2", "O": {"X": "1"}, "L": [1, 2], "E": {}})"), true},
        {R"({"CONTENT": {"A": "1"}, "CONTENT": {"B": "2"}, "OTHER": [{"CONTENT": 3}]})", true},
        {content(
             R"({"PACKAGES": [{"NAME": "a", "NAME": "b", "SLOTNUM": 3}, "plain", [1, [2]], {}]})"),
         true},
        {content(R"({"PACKAGES": {"PACKAGE": {"V": "1"}, "OTHER": {"V": "2"}, "": {"V": "3"}}})"),
         true},
        {content(
             R"({"MT": "x", "PACKAGES": [{"V": "1"}], "SN": "y", "PACKAGES": {"PACKAGE": {}}})"),
         true},
        {" \r\n\t{ \"schema_version\" :\t\"1\" ,\n\"CONTENT\" : { } }\n ", true},
        {R"({"schema_version": 1, "schema_version": 2, "CONTENT": {}})", true},
        {R"({"schema_version": 1.0, "CONTENT": {}})", true},  // taken, then refused as a version
        {R"({"OTHER": {}})", true},                           // taken, then refused: no CONTENT
        // Refused: each of these the tree reader refuses too, and says why.
        {content("{\"A\": \"tab\there\"}"), false},
        {content(R"({"A": "\x41"})"), false},
        {content(R"({"A": "\udc00"})"), false},
        {content("{\"A\": \"\x80\"}"), false},
        {content(R"({"A": 01})"), false},
        {content(R"({"A": 1e})"), false},
        {content(R"({"A": .5})"), false},
        {content(R"({"A": "1",})"), false},
        {content(R"([1 2])"), false},
        {content(R"({"A": "1"})") + " x", false},
        {R"({"CONTENT": {"A": "unterminated)", false},
    };
    for (const auto& [text, taken] : kCases) {
        EXPECT_EQ(Quendal::Tool::ReadJsonDocument(text).has_value(), taken) << text;
        const auto read = [&text =
                               text](bool through_tree) -> std::pair<StoredDocument, std::string> {
            try {
                return {through_tree ? StoredDocument::FromTree(
                                           Quendal::Tool::ParseDocumentTree(text, "stored"))
                                     : Quendal::Tool::ParseDocument(text, "stored"),
                        ""};
            } catch (const Quendal::Tool::DocumentError& error) {
                return {StoredDocument(), error.what()};
            }
        };
        const auto [direct, direct_error] = read(false);
        const auto [reduced, tree_error] = read(true);
        EXPECT_EQ(direct_error, tree_error) << text;
        EXPECT_TRUE(direct == reduced) << text;
    }
}

std::string Nested(const std::string& open, std::size_t levels, const std::string& inner,
                   const std::string& close) {
    std::string text;
    for (std::size_t level = 0; level < levels; ++level) {
        text += open;
    }
    text += inner;
    for (std::size_t level = 0; level < levels; ++level) {
        text += close;
    }
    return text;
}

// A stored document has a known shape: whatever goes beyond it is refused before a tree is
// built, and no INFO document opens another file. Documents deep enough to overflow a reader's
// stack, and a whole #include, are run through the tool (tests/tools/cli); here the bound,
// exactly, and what does not count as nesting.
TEST(ParseDocument, RefusesDocumentsNestedBeyondTheirShapeAndInfoIncludes) {
    constexpr std::size_t kMost = Quendal::Tool::kMaxDocumentNesting;
    const std::string deep = " nested deeper than 8 levels, more than a stored document has";
    const std::pair<std::string, std::string> kCases[] = {
        // The bound itself is fine, one more level is not.
        {"{\"CONTENT\": " + Nested("{\"A\": ", kMost - 3, "[{}]", "}") + "}", ""},
        {"{\"CONTENT\": " + Nested("{\"A\": ", kMost - 2, "[{}]", "}") + "}", ":1:" + deep},
        {Nested("<CONTENT>", 1, Nested("<A>", kMost - 1, "x", "</A>"), "</CONTENT>"), ""},
        {Nested("<CONTENT>", 1, Nested("<A>", kMost - 1, "<B/>", "</A>"), "</CONTENT>"),
         ":1:" + deep},
        {"CONTENT " + Nested("{\n A ", kMost, "x", "\n}") + "\n", ""},
        {"CONTENT " + Nested("{\n A ", kMost + 1, "x", "\n}") + "\n", ":9:" + deep},
        // What is no structure does not count: strings, comments, escapes.
        {"{\"CONTENT\": {\"MT\": \"\\\"" + std::string(20, '{') + "\"}}", ""},
        {"<CONTENT><!-- " + Nested("<A>", 20, "", "") + " --><MT a='>" + Nested("<A>", 20, "", "") +
             "'/><![CDATA[" + Nested("<A>", 20, "", "") + "]]></CONTENT>",
         ""},
        {"CONTENT \"" + std::string(20, '{') + "\" ; " + std::string(20, '{') + "\n", ""},
        {"  #   include \"other.info\"\n", ":1: #include is not read in a stored document"},
    };
    for (const auto& [text, error] : kCases) {
        const std::string result =
            Quendal::Testing::ErrorOf([&] { Quendal::Tool::ParseDocument(text, "stored"); });
        EXPECT_EQ(result, error.empty() ? "" : "stored" + error) << text.substr(0, 200);
    }
}

// The exact text of added, removed and changed packages is left to the end-to-end run.
// XML cannot hold every character JSON and INFO keep, and JSON no ill-formed UTF-8; the documents
// of one scan still compare equal whatever their formats, each value taken as XML holds it.
TEST(CompareDocuments, DocumentsOfOneScanAreEqualInEveryFormat) {
    // Control bytes, C1 and CR LF are run through the tool (hostile_json_and_xml_compare_equal).
    const std::string kValues[] = {"\xEF\xBF\xBE", "bad \xff\xc3"};
    for (const std::string& value : kValues) {
        SCOPED_TRACE(::testing::PrintToString(value));
        const ptree document = Document({Package("ID", value, "1")}, {{"MT", value}});
        const StoredDocument scanned = StoredDocument::FromTree(document);
        for (const Format format : {Format::kJson, Format::kXml, Format::kInfo}) {
            const auto comparison = Quendal::Tool::CompareDocuments(
                scanned, Quendal::Tool::ParseDocument(Render(document, format), "stored"));
            EXPECT_TRUE(comparison.equal)
                << static_cast<int>(format) << ": " << ::testing::PrintToString(comparison.lines);
        }
    }
}

TEST(CompareDocuments, PairsPackagesUnderOneKeyInOrderAndReportsOneSidedKeys) {
    const Fields a = Package("CMM", "A", "1.4"), b = Package("CMM", "B", "1.3");
    const auto in_slot = [](Fields package, const std::string& slot) {
        package.push_back({"SLOTNUM", slot});
        return package;
    };
    const Fields nic1 = in_slot(Package("NIC", "P1", "1"), "1");
    const Fields nic2 = in_slot(Package("NIC", "P2", "1"), "2");
    Fields repeated = a;  // the first of a repeated key counts
    repeated.push_back({"VERSION", "9"});
    const std::pair<ptree, std::vector<std::string>> kCases[] = {
        {Document({kNic, nic2, repeated, b, nic1}), {}},
        {Document({a, b, kNic, nic2, nic1},
                  {{"OS", "Windows 11"}, {"MT", " QX06 "}, {"ARCH", "\t\n\"\\\x01\x7f\xc3"}}),
         {R"(~ CONTENT.SN: "J30A" -> (absent))", R"(~ CONTENT.OS: "Windows 10" -> "Windows 11")",
          R"(~ CONTENT.ARCH: (absent) -> "\t\n\"\\\xef\xbf\xbd\x7f\xef\xbf\xbd")"}},
        {Document({Package("CMM", "A2", "1.3"), Package("CMM", "B", "1.4"), kNic,
                   Package("CMM", "C", "2"), in_slot(Package("NIC", "P1", "1.1"), "1")}),
         {R"(- package SOFTWAREID="NIC" SLOTNUM="2": NAME="P2" VERSION="1")",
          R"(+ package SOFTWAREID="CMM" SLOTNUM="": NAME="C" VERSION="2")",
          R"(~ package SOFTWAREID="CMM" SLOTNUM="": NAME "A" -> "A2", VERSION "1.4" -> "1.3")",
          R"(~ package SOFTWAREID="CMM" SLOTNUM="": VERSION "1.3" -> "1.4")",
          R"(~ package SOFTWAREID="NIC" SLOTNUM="1": VERSION "1" -> "1.1")"}},
    };
    const StoredDocument old_document =
        StoredDocument::FromTree(Document({a, b, kNic, nic2, nic1}));
    for (const auto& [changed, lines] : kCases) {
        const auto comparison =
            Quendal::Tool::CompareDocuments(old_document, StoredDocument::FromTree(changed));
        EXPECT_EQ(comparison.lines, lines);
        EXPECT_EQ(comparison.equal, lines.empty());
    }
}

}  // namespace
