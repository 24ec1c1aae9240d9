#include <gtest/gtest.h>

#include <algorithm>
#include <boost/property_tree/info_parser.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "Output.h"
#include "SystemInfo.h"

namespace {

using boost::property_tree::ptree;
using Quendal::Tool::Format;
using Quendal::Tool::Render;
using Quendal::Tool::WriteFileAtomically;
namespace fs = std::filesystem;

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

ptree Document(const std::string& value, const std::string& key = "NAME") {
    ptree document;
    document.put("CONTENT.MT", value);
    ptree& package = document.put_child("CONTENT.PACKAGES.PACKAGE", ptree());
    for (const char* field : {"SOFTWAREID", "VERSION", "CLASSIFICATION", "DESCRIPTION"}) {
        package.put(field, "x");
    }
    package.push_back({key, ptree(value)});
    return document;
}

// Boost's own readers, the XML one without trimming.
ptree ReadBack(const std::string& text, Format format) {
    std::istringstream in(text);
    ptree tree;
    if (format == Format::kJson) {
        boost::property_tree::read_json(in, tree);
    } else if (format == Format::kXml) {
        boost::property_tree::read_xml(in, tree);
    } else {
        boost::property_tree::read_info(in, tree);
    }
    return tree;
}

TEST(Render, ListingIsTheModulePrinterOrEmptyWithoutPackages) {
    std::stringstream printed;
    SystemInfoPTree::PrintPropertyTree(Document("A"), printed);
    EXPECT_EQ(Render(Document("A"), Format::kListing), printed.str());

    ptree no_packages;
    no_packages.put("CONTENT.TOTAL", "0");
    ptree empty_packages = no_packages;
    empty_packages.put_child("CONTENT.PACKAGES", ptree());
    EXPECT_EQ(Render(no_packages, Format::kListing), "");
    EXPECT_EQ(Render(empty_packages, Format::kListing), "");

    ptree malformed = Document("A");
    malformed.get_child("CONTENT.PACKAGES.PACKAGE").erase("VERSION");
    EXPECT_THROW(Render(malformed, Format::kListing), boost::property_tree::ptree_bad_path);
}

TEST(Render, XmlAndJsonStayWellFormedWhateverTheValuesHold) {
    const struct {
        std::string raw, json, xml;
    } kCases[] = {
        {"tab\there", "tab\there", "tab\there"},
        {"crlf\r\nend", "crlf\r\nend", "crlf\r\nend"},
        {"c0 \x01 \x1f", "c0 \x01 \x1f", "c0 " + kBad + " " + kBad},
        {"del \x7f", "del \x7f", "del \x7f"},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80",
         "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"\xEF\xBF\xBE", "\xEF\xBF\xBE", kBad},                        // U+FFFE
        {"bad \xff\xc3", "bad " + kBad + kBad, "bad " + kBad + kBad},  // stray, truncated
        {"\xE0\x80\xAF|\xED\xA0\x80", kBad + kBad + kBad + "|" + kBad + kBad + kBad,
         kBad + kBad + kBad + "|" + kBad + kBad + kBad},  // overlong, surrogate
        {"cut \xF0\x9F\x98", "cut " + kBad, "cut " + kBad},
        {"\xF4\x8F\xBF\xBF|\xF4\x90\x80\x80", "\xF4\x8F\xBF\xBF|" + kBad + kBad + kBad + kBad,
         "\xF4\x8F\xBF\xBF|" + kBad + kBad + kBad + kBad},  // U+10FFFF, past it
        {"q\"b\\s/ <&> '", "q\"b\\s/ <&> '", "q\"b\\s/ <&> '"},
        {"  ", "  ", "  "},
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.raw);
        const ptree document = Document(test.raw);

        const std::string json = Render(document, Format::kJson);
        nlohmann::json parsed;
        EXPECT_NO_THROW(parsed = nlohmann::json::parse(json));
        EXPECT_EQ(parsed["CONTENT"]["MT"], test.json);
        EXPECT_EQ(ReadBack(json, Format::kJson), Document(test.json));

        // Boost's XML reader is lenient, so the bytes are checked as well: no C0 control
        // XML forbids, and UTF-8 that a strict serializer accepts.
        const std::string xml = Render(document, Format::kXml);
        EXPECT_EQ(std::find_if(xml.begin(), xml.end(),
                               [](unsigned char c) {
                                   return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
                               }),
                  xml.end());
        EXPECT_NO_THROW(static_cast<void>(nlohmann::json(xml).dump()));
        const ptree from_xml = ReadBack(xml, Format::kXml);
        EXPECT_EQ(from_xml.get<std::string>("CONTENT.MT"), test.xml);
        EXPECT_EQ(from_xml.get<std::string>("CONTENT.PACKAGES.PACKAGE.NAME"), test.xml);

        EXPECT_EQ(ReadBack(Render(document, Format::kInfo), Format::kInfo), document);
    }
}

TEST(Render, KeysAreCleanedAndXmlRefusesKeysThatAreNoElementNames) {
    EXPECT_EQ(ReadBack(Render(Document("v", "K\xff"), Format::kJson), Format::kJson),
              Document("v", "K" + kBad));
    EXPECT_NE(Render(Document("v", "K\xff"), Format::kXml).find("<K" + kBad + ">v<"),
              std::string::npos);
    for (const std::string key : {"two words", "1ST", "<xmlattr>", ""}) {
        EXPECT_THROW(Render(Document("v", key), Format::kXml), std::runtime_error) << key;
    }
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ErrorOf(const std::string& path) {
    try {
        ::Quendal::Tool::WriteFileAtomically(path, "new");
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

// Each test works in a fresh directory of its own, so that leftovers show.
class WriteFileAtomically : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(directory_); }
    void TearDown() override { fs::remove_all(directory_); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    const fs::path directory_ =
        fs::temp_directory_path() /
        ("quendal-output-test-" +
         std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
};

TEST_F(WriteFileAtomically, WritesAndReplacesByteForByteLeavingNoTemporary) {
    const fs::path path = directory_ / "document.xml";
    const std::string binary("line\r\nnul\0end\n", 14);
    ::Quendal::Tool::WriteFileAtomically(path.string(), "a much longer first content\n");
    ::Quendal::Tool::WriteFileAtomically(path.string(), binary);
    EXPECT_EQ(Contents(path), binary);
    EXPECT_EQ(Entries(), std::vector<std::string>{"document.xml"});
}

TEST_F(WriteFileAtomically, FailureNamesThePathAndChangesNothing) {
    const std::string missing = (directory_ / "missing" / "document.xml").string();
    const std::string missing_error = ErrorOf(missing);
    EXPECT_NE(missing_error.find(missing + ": "), std::string::npos) << missing_error;
    EXPECT_EQ(Entries(), std::vector<std::string>{});

    const fs::path occupied = directory_ / "occupied";
    fs::create_directory(occupied);
    std::ofstream(occupied / "inside") << "kept";
    const std::string occupied_error = ErrorOf(occupied.string());
    EXPECT_NE(occupied_error.find(occupied.string() + ": "), std::string::npos) << occupied_error;
    EXPECT_EQ(Entries(), std::vector<std::string>{"occupied"});
    EXPECT_EQ(Contents(occupied / "inside"), "kept");
}

}  // namespace
