#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Diff.h"
#include "Output.h"
#include "tools/Scratch.h"

namespace {

using boost::property_tree::ptree;
using Quendal::Tool::Format;
using Quendal::Tool::Render;
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

TEST(ReadDocument, TellsTheFormatByContentAndNamesTheFileAndLineOfAnError) {
    const Quendal::Testing::ScratchDirectory scratch;
    const std::string path = scratch / "document";
    const ptree document = Document({Package("CMM", "CMM Firmware", "1.4"), kNic});
    const auto read = [&](const std::string& file) -> std::string {
        try {
            return Quendal::Tool::ReadDocument(file) == document ? "" : "read differently";
        } catch (const Quendal::Tool::DocumentError& error) {
            return error.what();
        }
    };
    const std::pair<std::string, std::string> kCases[] = {
        {"\n \t" + Render(document, Format::kXml), ""},  // no error: read back unchanged
        {"\n \t" + Render(document, Format::kJson), ""},
        {R"({"schema_version": 1, "CONTENT": {"MT": " QX06 ", "SN": "J30A", "OS": "Windows 10",
            "PACKAGES": [{"NAME": "CMM Firmware", "SOFTWAREID": "CMM", "VERSION": "1.4"},
                         {"NAME": "Adapter", "SOFTWAREID": "NIC", "VERSION": "22.3"}]}})",
         ""},
        {R"({"schema_version": 2, "CONTENT": {}})",
         ": schema_version 2 is not one this tool reads"},
        {"<CONTENT>\n<MT>x</MT>\n<SN \"x\"/>\n</CONTENT>\n", ":3: "},
        {"CONTENT\n{\nMT x\n", ":4: unmatched {"},
        {"{\"OTHER\": {}}", ": no CONTENT document"},
    };
    for (const auto& [text, error] : kCases) {
        std::ofstream(path, std::ios::binary) << text;
        const std::string result = read(path);
        EXPECT_TRUE(error.empty() ? result.empty() : result.rfind(path + error, 0) == 0)
            << text << " gave: " << result;
    }
    std::filesystem::remove(path);
    EXPECT_EQ(read(path).rfind(path + ": cannot open: ", 0), 0u);
}

// Documents stored before the JSON form changed repeat the PACKAGE key and hold only strings.
TEST(ReadDocument, ReadsJsonStoredInTheOldFormAsTheNewFormReadsBack) {
    const auto data = std::filesystem::path(__FILE__).parent_path() / "data";
    const ptree old_form = Quendal::Tool::ReadDocument((data / "server-old-format.json").string());
    EXPECT_EQ(old_form.get_child("CONTENT.PACKAGES").count("PACKAGE"), 5u);
    EXPECT_EQ(old_form.get<std::string>("CONTENT.TOTAL"), "5");

    const Quendal::Testing::ScratchDirectory scratch;
    const std::string path = scratch / "document.json";
    const ptree no_packages = Document({}, {{"ISPARTITION", "0"}, {"TOTAL", "0"}});
    for (const ptree& document : {old_form, no_packages}) {
        std::ofstream(path, std::ios::binary) << Render(document, Format::kJson);
        const ptree new_form = Quendal::Tool::ReadDocument(path);
        EXPECT_EQ(new_form, document);
        EXPECT_TRUE(Quendal::Tool::CompareDocuments(document, new_form).equal);
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
// built, so no reader recurses deep enough to overflow the stack (the first three are the depths
// that did), and no INFO document opens another file.
TEST(ParseDocument, RefusesDocumentsNestedBeyondTheirShapeAndInfoIncludes) {
    constexpr std::size_t kMost = Quendal::Tool::kMaxDocumentNesting;
    const std::string deep = " nested deeper than 8 levels, more than a stored document has";
    const std::pair<std::string, std::string> kCases[] = {
        {"{\"A\": " + Nested("[", 100000, "", "]") + "}", ":1:" + deep},
        {Nested("<A>", 40000, "", "</A>"), ":1:" + deep},
        {"CONTENT\n" + Nested("{\nA ", 200000, "", "}\n"), ":10:" + deep},
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
        {"CONTENT\n{\n#include \"/etc/hostname\"\n}\n",
         ":3: #include is not read in a stored "
         "document"},
        {"  #   include \"other.info\"\n", ":1: #include is not read in a stored document"},
    };
    for (const auto& [text, error] : kCases) {
        std::string result;
        try {
            Quendal::Tool::ParseDocument(text, "stored");
        } catch (const Quendal::Tool::DocumentError& failure) {
            result = failure.what();
        }
        EXPECT_EQ(result, error.empty() ? "" : "stored" + error) << text.substr(0, 200);
    }
}

// The exact text of added, removed and changed packages is left to the end-to-end run.
TEST(CompareDocuments, PairsPackagesUnderOneKeyInOrderAndReportsOneSidedKeys) {
    const Fields a = Package("CMM", "A", "1.4"), b = Package("CMM", "B", "1.3");
    const std::pair<ptree, std::vector<std::string>> kCases[] = {
        {Document({kNic, a, b}), {}},
        {Document({a, b, kNic},
                  {{"OS", "Windows 11"}, {"MT", " QX06 "}, {"ARCH", "\t\n\"\\\x01\x7f\xc3"}}),
         {R"(~ CONTENT.SN: "J30A" -> (absent))", R"(~ CONTENT.OS: "Windows 10" -> "Windows 11")",
          R"(~ CONTENT.ARCH: (absent) -> "\t\n\"\\\x01\x7f\xc3")"}},
        {Document({Package("CMM", "A2", "1.3"), Package("CMM", "B", "1.4"), kNic,
                   Package("CMM", "C", "2")}),
         {R"(+ package SOFTWAREID="CMM" SLOTNUM="": NAME="C" VERSION="2")",
          R"(~ package SOFTWAREID="CMM" SLOTNUM="": NAME "A" -> "A2", VERSION "1.4" -> "1.3")",
          R"(~ package SOFTWAREID="CMM" SLOTNUM="": VERSION "1.3" -> "1.4")"}},
    };
    for (const auto& [changed, lines] : kCases) {
        const auto comparison = Quendal::Tool::CompareDocuments(Document({a, b, kNic}), changed);
        EXPECT_EQ(comparison.lines, lines);
        EXPECT_EQ(comparison.equal, lines.empty());
    }
}

}  // namespace
