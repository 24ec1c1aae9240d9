#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Diff.h"
#include "Output.h"

namespace {

using boost::property_tree::ptree;
using Quendal::Tool::CompareDocuments;
using Quendal::Tool::DocumentError;
using Quendal::Tool::Format;
using Quendal::Tool::ReadDocument;
namespace fs = std::filesystem;

using Fields = std::vector<std::pair<std::string, std::string>>;

ptree Tree(const Fields& fields) {
    ptree tree;
    for (const auto& [key, value] : fields) {
        tree.push_back({key, ptree(value)});
    }
    return tree;
}

ptree Document(const Fields& scalars, const std::vector<ptree>& packages) {
    ptree document;
    ptree& content = document.put_child("CONTENT", Tree(scalars));
    for (const ptree& package : packages) {
        content.add_child("PACKAGES.PACKAGE", package);
    }
    return document;
}

ptree With(ptree package, const std::string& key, const std::string& value) {
    package.put(key, value);
    return package;
}

const Fields kScalars = {{"MT", " 7X06 "}, {"SN", "J30A"}, {"OS", "Windows 10"}, {"TOTAL", "2"}};
const ptree kCmm = Tree({{"NAME", "CMM Firmware"}, {"SOFTWAREID", "CMM"}, {"VERSION", "1.4"}});
const ptree kCmmBackup = With(With(kCmm, "NAME", "CMM Backup"), "VERSION", "1.3");
const ptree kNic =
    Tree({{"NAME", "Adapter"}, {"SOFTWAREID", "NIC"}, {"VERSION", "22.3"}, {"SLOTNUM", "3"}});

class ReadDocumentTest : public testing::Test {
protected:
    void TearDown() override { fs::remove(path_); }
    std::string Store(const std::string& text) {
        std::ofstream(path_, std::ios::binary) << text;
        return path_;
    }
    static std::string ErrorOf(const std::string& path) {
        try {
            ReadDocument(path);
        } catch (const DocumentError& error) {
            return error.what();
        }
        return "accepted";
    }
    const std::string path_ =
        (fs::temp_directory_path() /
         ("quendal-diff-test-" +
          std::string(testing::UnitTest::GetInstance()->current_test_info()->name())))
            .string();
};

TEST_F(ReadDocumentTest, ReadsEveryStoredFormatBackUnchanged) {
    const ptree document = Document(kScalars, {kCmm, kNic});
    for (const Format format : {Format::kXml, Format::kJson, Format::kInfo}) {
        const std::string text = Quendal::Tool::Render(document, format);
        EXPECT_EQ(ReadDocument(Store(text)), document) << text;
        EXPECT_EQ(ReadDocument(Store("\n \t" + text)), document) << text;
    }
}

TEST_F(ReadDocumentTest, ErrorsNameTheFileAndTheLine) {
    const struct {
        std::string text, prefix;
    } kCases[] = {
        {"<CONTENT>\n<MT>x</MT>\n<SN \"x\"/>\n</CONTENT>\n", ":3: "},
        {"{\n\"CONTENT\": {\n\"MT\" \"x\"}\n}\n", ":3: "},
        {"CONTENT\n{\nMT x\n", ":4: unmatched {"},
        {"<OTHER><MT>x</MT></OTHER>", ": no CONTENT document"},
        {"{\"OTHER\": {}}", ": no CONTENT document"},
        {"", ": no CONTENT document"},
    };
    for (const auto& test : kCases) {
        const std::string error = ErrorOf(Store(test.text));
        EXPECT_EQ(error.rfind(path_ + test.prefix, 0), 0u) << error;
    }
    fs::remove(path_);
    EXPECT_EQ(ErrorOf(path_), path_ + ": cannot open");
}

TEST(CompareDocuments, ReportsChangedScalarsAndPackagesInAFixedOrder) {
    const ptree base = Document(kScalars, {kCmm, kCmmBackup, kNic});
    const struct {
        const char* name;
        ptree changed;
        std::vector<std::string> lines;
    } kCases[] = {
        {"equal", base, {}},
        {"reordered", Document(kScalars, {kNic, kCmm, kCmmBackup}), {}},
        {"scalars",
         Document({{"OS", "Windows 11"}, {"MT", " 7X06 "}, {"TOTAL", "2"}, {"ARCH", "64 bit"}},
                  {kCmm, kCmmBackup, kNic}),
         {R"(~ CONTENT.SN: "J30A" -> (absent))", R"(~ CONTENT.OS: "Windows 10" -> "Windows 11")",
          R"(~ CONTENT.ARCH: (absent) -> "64 bit")"}},
        {"same key paired in order",
         Document(kScalars,
                  {With(kCmm, "VERSION", "1.3"), With(kCmmBackup, "VERSION", "1.4"), kNic}),
         {R"(~ package SOFTWAREID="CMM" SLOTNUM="": VERSION "1.4" -> "1.3")",
          R"(~ package SOFTWAREID="CMM" SLOTNUM="": VERSION "1.3" -> "1.4")"}},
        {"removed, added, changed",
         Document(kScalars, {With(With(kNic, "SLOTTYPE", "1"), "VERSION", "22.4"), kCmm,
                             With(kNic, "SLOTNUM", "4")}),
         {R"(- package SOFTWAREID="CMM" SLOTNUM="": NAME="CMM Backup" VERSION="1.3")",
          R"(+ package SOFTWAREID="NIC" SLOTNUM="4": NAME="Adapter" VERSION="22.3")",
          R"(~ package SOFTWAREID="NIC" SLOTNUM="3": VERSION "22.3" -> "22.4", )"
          R"(SLOTTYPE (absent) -> "1")"}},
        {"surplus under one key added",
         Document(kScalars, {kCmm, kCmmBackup, kNic, With(kCmm, "VERSION", "2.0")}),
         {R"(+ package SOFTWAREID="CMM" SLOTNUM="": NAME="CMM Firmware" VERSION="2.0")"}},
        {"values quoted on one line",
         Document(kScalars, {With(kCmm, "NAME", "a\tb\n\"\\\x01\x7f\xc3\xa9"), kCmmBackup, kNic}),
         {R"(~ package SOFTWAREID="CMM" SLOTNUM="": NAME "CMM Firmware" -> )"
          R"("a\tb\n\"\\\x01\x7f\xc3\xa9")"}},
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.name);
        const auto comparison = CompareDocuments(base, test.changed);
        EXPECT_EQ(comparison.lines, test.lines);
        EXPECT_EQ(comparison.equal, test.lines.empty());
    }
}

}  // namespace
