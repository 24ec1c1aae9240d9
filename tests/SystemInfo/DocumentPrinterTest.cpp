#include <gtest/gtest.h>

#include "SystemInfo.h"

namespace {

using boost::property_tree::ptree;
using boost::property_tree::ptree_bad_path;

ptree Package(std::initializer_list<std::pair<const char*, const char*>> entries) {
    ptree package;
    for (const auto& [key, value] : entries) {
        package.put(key, value);
    }
    return package;
}

ptree Document(std::initializer_list<ptree> packages) {
    ptree tree;
    tree.put("CONTENT.TOTAL", packages.size());
    for (const ptree& package : packages) {
        tree.add_child("CONTENT.PACKAGES.PACKAGE", package);
    }
    return tree;
}

const ptree kFirst = Package({{"NAME", "A"},
                              {"SOFTWAREID", "B"},
                              {"VERSION", "1.0"},
                              {"CLASSIFICATION", "10"},
                              {"DESCRIPTION", "x"},
                              {"INSTANCEID", "not printed"}});

const char* const kFirstLines =
    "    NAME:  \tA\n"
    "    SOFTWAREID:  \tB\n"
    "    VERSION:  \t1.0\n"
    "    CLASSIFICATION:  \t10\n"
    "    DESCRIPTION:  \tx\n";

std::string Print(const ptree& tree) {
    std::stringstream out;
    SystemInfoPTree::PrintPropertyTree(tree, out);
    return out.str();
}

TEST(PrintPropertyTree, WritesFiveLabelledLinesPerPackage) {
    EXPECT_EQ(Print(Document({kFirst})), kFirstLines);
}

TEST(PrintPropertyTree, PackagesFollowEachOtherWithoutSeparator) {
    const ptree second = Package({{"NAME", "C"},
                                  {"SOFTWAREID", "D"},
                                  {"VERSION", ""},
                                  {"CLASSIFICATION", "22"},
                                  {"DESCRIPTION", "two\nlines"}});
    EXPECT_EQ(Print(Document({kFirst, second})), std::string(kFirstLines) +
                                                     "    NAME:  \tC\n"
                                                     "    SOFTWAREID:  \tD\n"
                                                     "    VERSION:  \t\n"
                                                     "    CLASSIFICATION:  \t22\n"
                                                     "    DESCRIPTION:  \ttwo\nlines\n");
}

TEST(PrintPropertyTree, PrintsKeysInFixedOrderWhateverThePackageOrder) {
    SMMInfo smm{"7C77", "SN", "SMM-FW", "1.10", "10", "Enclosure firmware", "SMM Firmware"};
    ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree(smm, {}, tree, "SMM");
    EXPECT_EQ(Print(tree),
              "    NAME:  \tSMM Firmware\n"
              "    SOFTWAREID:  \tSMM-FW\n"
              "    VERSION:  \t1.10\n"
              "    CLASSIFICATION:  \t10\n"
              "    DESCRIPTION:  \tEnclosure firmware\n");
}

TEST(PrintPropertyTree, AppendsBehindTextAlreadyInTheStream) {
    std::stringstream out;
    out << "header\n";
    SystemInfoPTree::PrintPropertyTree(Document({kFirst}), out);
    EXPECT_EQ(out.str(), std::string("header\n") + kFirstLines);
}

struct FailureCase {
    const char* name;
    ptree tree;
    std::string message;
    std::string written;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class PrintFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(PrintFailureTest, ThrowsBadPathAndKeepsEarlierLines) {
    std::stringstream out;
    out << ">";
    try {
        SystemInfoPTree::PrintPropertyTree(GetParam().tree, out);
        FAIL() << "expected ptree_bad_path";
    } catch (const ptree_bad_path& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
    }
    EXPECT_EQ(out.str(), ">" + GetParam().written);
}

ptree WithoutPackages() {
    ptree tree;
    SystemInfoPTree::GenerateSystemInfoPTree(std::pair<std::string, std::string>{"7X06", "SN"}, {},
                                             tree, "BMC");
    return tree;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, PrintFailureTest,
    ::testing::Values(
        FailureCase{"EmptyTree", ptree(), "No such node (CONTENT.PACKAGES.PACKAGE)", ""},
        FailureCase{"BuiltFromEmptyLists", WithoutPackages(),
                    "No such node (CONTENT.PACKAGES.PACKAGE)", ""},
        FailureCase{"SecondPackageLacksVersion",
                    Document({kFirst, Package({{"NAME", "C"}, {"SOFTWAREID", "D"}})}),
                    "No such node (VERSION)",
                    std::string(kFirstLines) + "    NAME:  \tC\n    SOFTWAREID:  \tD\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
