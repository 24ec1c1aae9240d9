#include <gtest/gtest.h>

#include <boost/property_tree/info_parser.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <sstream>

#include "Output.h"
#include "tools/Scratch.h"

namespace {

using boost::property_tree::ptree;
using Quendal::Tool::Format;
using Quendal::Tool::Render;
using Quendal::Tool::ScanFacts;
using Quendal::Tool::UtcTime;

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

ptree Document(const std::string& value) {
    ptree document;
    document.put("CONTENT.MT", value);
    document.put_child("CONTENT.PACKAGES.PACKAGE", ptree()).push_back({"NAME", ptree(value)});
    return document;
}

// Boost's readers pass bytes through unchecked, so the exact sanitized value shows.
ptree RoundTrip(const ptree& document, Format format) {
    namespace pt = boost::property_tree;
    std::istringstream in(Render(document, format));
    ptree tree;
    format == Format::kJson  ? pt::read_json(in, tree)
    : format == Format::kXml ? pt::read_xml(in, tree)
                             : pt::read_info(in, tree);
    return tree;
}

// Well-formedness against strict parsers is left to the end-to-end runs; they cannot carry
// ill-formed UTF-8 in, so its replacement is checked here.
TEST(Render, ReplacesIllFormedUtf8AndCharactersXmlCannotHold) {
    const struct {
        std::string raw, json, xml;
    } kCases[] = {
        {"\t\r\n\x01\x1f\x7f", "\t\r\n\x01\x1f\x7f", "\t\r\n" + kBad + kBad + "\x7f"},
        {"\x1f", "\x1f", kBad},  // alone: nothing else makes the document need cleaning
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80",
         "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"\xEF\xBF\xBE", "\xEF\xBF\xBE", kBad},                        // U+FFFE
        {"bad \xff\xc3", "bad " + kBad + kBad, "bad " + kBad + kBad},  // stray, truncated
        {"\xE0\x80\xAF|\xED\xA0\x80", kBad + kBad + kBad + "|" + kBad + kBad + kBad,
         kBad + kBad + kBad + "|" + kBad + kBad + kBad},  // overlong, surrogate
        {"\xF4\x8F\xBF\xBF|\xF4\x90\x80\x80", "\xF4\x8F\xBF\xBF|" + kBad + kBad + kBad + kBad,
         "\xF4\x8F\xBF\xBF|" + kBad + kBad + kBad + kBad},  // U+10FFFF, past it
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.raw);
        const ptree document = Document(test.raw);
        const ptree json = RoundTrip(document, Format::kJson);
        EXPECT_EQ(json.get<std::string>("CONTENT.MT"), test.json);
        EXPECT_EQ(json.get_child("CONTENT.PACKAGES").front().second.get<std::string>("NAME"),
                  test.json);
        EXPECT_EQ(RoundTrip(document, Format::kXml).get<std::string>("CONTENT.MT"), test.xml);
        EXPECT_EQ(RoundTrip(document, Format::kInfo), document);
    }
}

ptree Tree(const std::vector<std::pair<std::string, std::string>>& paths) {
    ptree tree;
    for (const auto& [path, value] : paths) {
        tree.add(path, value);
    }
    return tree;
}

// Whole texts: standard readers must find every package, numbers as numbers, keys in order.
TEST(Render, JsonKeepsEveryPackageInAnArrayWithNumbersWhereTheModuleWritesDecimals) {
    ptree packages = Tree({{"CONTENT.TOTAL", "3"}});
    ptree& list = packages.put_child("CONTENT.PACKAGES", ptree());
    list.add_child("PACKAGE", Tree({{"SOFTWAREID", "NIC"}, {"SLOTTYPE", "7"}}));
    list.add_child("PACKAGE", Tree({{"SLOTTYPE", "-3"}, {"NAME", "q\"\\\t\x01\x7f\xff"}}));
    list.add_child("PACKAGE", ptree());
    packages.add("CONTENT.ARCH", "-3");

    // A document without packages (PACKAGES [] all the same) is the tool's esxi_json.
    EXPECT_EQ(Render(packages, Format::kJson), R"({
    "schema_version": 1,
    "CONTENT": {
        "TOTAL": 3,
        "PACKAGES": [
            {
                "SOFTWAREID": "NIC",
                "SLOTTYPE": 7
            },
            {
                "SLOTTYPE": -3,
                "NAME": "q\"\\\t\u0001)" + std::string("\x7f") +
                                                   kBad + R"("
            },
            {}
        ],
        "ARCH": "-3"
    }
}
)");
}

TEST(Render, JsonSaysWhatTheDocumentIsOfBeforeContentAndOnlyInJson) {
    const ptree document = Tree({{"CONTENT.MT", "QX01"}});
    const ScanFacts scan{"switch", "cmm-\xff.example", 8443, "3", "2024-02-29T23:59:59Z", "1.2.3"};
    EXPECT_EQ(Render(document, Format::kJson, &scan), R"({
    "schema_version": 1,
    "scan": {
        "kind": "switch",
        "host": "cmm-)" + std::string(kBad) + R"(.example",
        "port": 8443,
        "bay": "3",
        "time": "2024-02-29T23:59:59Z",
        "tool_version": "1.2.3"
    },
    "CONTENT": {
        "MT": "QX01",
        "PACKAGES": []
    }
}
)");
    EXPECT_EQ(Render(document, Format::kXml, &scan), Render(document, Format::kXml));
    using std::chrono::seconds;
    const std::pair<long long, const char*> kTimes[] = {
        {0, "1970-01-01T00:00:00Z"},          {951782400, "2000-02-29T00:00:00Z"},
        {1709251199, "2024-02-29T23:59:59Z"}, {1709251200, "2024-03-01T00:00:00Z"},
        {4102444800, "2100-01-01T00:00:00Z"}, {-1, "1969-12-31T23:59:59Z"},
    };
    for (const auto& [since_epoch, text] : kTimes) {
        EXPECT_EQ(UtcTime(std::chrono::system_clock::time_point(seconds(since_epoch))), text);
    }
}

TEST(Render, JsonRefusesWhatItCannotWriteFaithfullyAndNamesThePlace) {
    const std::pair<ptree, std::string> kCases[] = {
        {Tree({{"CONTENT.TOTAL", "07"}}), "CONTENT.TOTAL is \"07\", not a decimal integer"},
        {Tree({{"CONTENT.ISPARTITION", "-0"}}), "CONTENT.ISPARTITION is \"-0\""},
        {Tree({{"CONTENT.TOTAL", "1234567890123456"}}), "CONTENT.TOTAL is"},
        {Tree({{"CONTENT.PACKAGES.PACKAGE.SLOTTYPE", ""}}), "CONTENT.PACKAGES[0].SLOTTYPE is"},
        {Tree({{"CONTENT.PACKAGES.PACKAGE.SLOTTYPE", "+1"}}), "CONTENT.PACKAGES[0].SLOTTYPE is"},
        {Tree({{"CONTENT.SN", "A"}, {"CONTENT.SN", "B"}}), "CONTENT.SN appears twice"},
        {Tree({{"CONTENT.PACKAGES.OTHER.NAME", "x"}}), "CONTENT.PACKAGES.OTHER is not a PACKAGE"},
        {Tree({{"CONTENT.PACKAGES.PACKAGE", "x"}}), "CONTENT.PACKAGES[0] holds a value"},
        {Tree({{"schema_version", "2"}}), "schema_version appears twice"},
    };
    for (const auto& [document, message] : kCases) {
        const std::string error =
            Quendal::Testing::ErrorOf([&] { Render(document, Format::kJson); });
        EXPECT_NE(error.find(message), std::string::npos) << "gave: " << error;
    }
}

TEST(Render, ListingIsEmptyWithoutPackagesButAMalformedPackageThrows) {
    ptree no_packages;
    no_packages.put("CONTENT.TOTAL", "0");
    EXPECT_EQ(Render(no_packages, Format::kListing), "");
    no_packages.put_child("CONTENT.PACKAGES", ptree());
    EXPECT_EQ(Render(no_packages, Format::kListing), "");

    EXPECT_THROW(Render(Document("A"), Format::kListing), boost::property_tree::ptree_bad_path);
}

}  // namespace
