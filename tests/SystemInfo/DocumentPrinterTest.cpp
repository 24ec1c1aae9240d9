#include <gtest/gtest.h>

#include <functional>

#include "SystemInfo.h"

namespace {

using boost::property_tree::ptree;

ptree Package(std::initializer_list<std::pair<const char*, const char*>> entries) {
    ptree package;
    for (const auto& [key, value] : entries) {
        package.put(key, value);
    }
    return package;
}

// Children of CONTENT.PACKAGES, each a PACKAGE unless named otherwise.
ptree Document(std::initializer_list<ptree> packages, std::vector<std::string> keys = {}) {
    ptree tree;
    ptree& list = tree.put_child("CONTENT.PACKAGES", ptree());
    keys.resize(packages.size(), "PACKAGE");
    auto key = keys.begin();
    for (const ptree& package : packages) {
        list.push_back({*key++, package});
    }
    return tree;
}

// Keys in another order than printed, and one that is not printed at all.
const ptree kFirst = Package({{"DESCRIPTION", "x"},
                              {"INSTANCEID", "not printed"},
                              {"CLASSIFICATION", "10"},
                              {"VERSION", "1.0"},
                              {"SOFTWAREID", "B"},
                              {"NAME", "A"}});

const std::string kFirstLines =
    "    NAME:  \tA\n"
    "    SOFTWAREID:  \tB\n"
    "    VERSION:  \t1.0\n"
    "    CLASSIFICATION:  \t10\n"
    "    DESCRIPTION:  \tx\n";

// Every case prints behind text already in the stream, which must stay, as must the lines
// written before a missing key is found.
TEST(PrintPropertyTree, AppendsFiveLinesPerPackageOrThrowsBadPathKeepingWhatItWrote) {
    const ptree second = Package({{"NAME", "C"},
                                  {"SOFTWAREID", "D"},
                                  {"VERSION", ""},
                                  {"CLASSIFICATION", "22"},
                                  {"DESCRIPTION", "two\nlines"}});
    // Repeated keys: get<std::string> takes the one the key index holds first, which is the
    // one added first, even when a later one was put before it.
    ptree repeated = Package({{"SOFTWAREID", "B"}, {"CLASSIFICATION", "10"}, {"DESCRIPTION", "x"}});
    repeated.push_back({"NAME", ptree("first")});
    repeated.push_front({"NAME", ptree("put before")});
    repeated.push_back({"NAME", ptree("added last")});
    repeated.push_back({"VERSION", ptree("1.0")});
    repeated.push_back({"VERSION", ptree("2.0")});
    const struct {
        const char* name;
        ptree tree;
        std::string written, error;
    } kCases[] = {
        {"one package", Document({kFirst}), kFirstLines, ""},
        {"no separator between packages", Document({kFirst, second}),
         kFirstLines +
             "    NAME:  \tC\n    SOFTWAREID:  \tD\n    VERSION:  \t\n    CLASSIFICATION:  \t22\n"
             "    DESCRIPTION:  \ttwo\nlines\n",
         ""},
        // As an XML reader files attributes and comments, and a stray element.
        {"other children are skipped",
         Document({kFirst, kFirst, second, kFirst},
                  {"<xmlattr>", "PACKAGE", "NOTE", "<xmlcomment>"}),
         kFirstLines, ""},
        {"only other children", Document({kFirst}, {"<xmlattr>"}), "",
         "No such node (CONTENT.PACKAGES.PACKAGE)"},
        {"empty tree", ptree(), "", "No such node (CONTENT.PACKAGES.PACKAGE)"},
        {"no package", Document({}), "", "No such node (CONTENT.PACKAGES.PACKAGE)"},
        {"repeated keys", Document({repeated}),
         "    NAME:  \tfirst\n    SOFTWAREID:  \tB\n    VERSION:  \t1.0\n"
         "    CLASSIFICATION:  \t10\n    DESCRIPTION:  \tx\n",
         ""},
        {"second package lacks VERSION",
         Document({kFirst, Package({{"NAME", "C"}, {"SOFTWAREID", "D"}})}),
         kFirstLines + "    NAME:  \tC\n    SOFTWAREID:  \tD\n", "No such node (VERSION)"},
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.name);
        std::stringstream out;
        out << "header\n";
        std::string error;
        try {
            SystemInfoPTree::PrintPropertyTree(test.tree, out);
        } catch (const boost::property_tree::ptree_bad_path& bad_path) {
            error = bad_path.what();
        }
        EXPECT_EQ(error, test.error);
        EXPECT_EQ(out.str(), "header\n" + test.written);
    }
}

// Records what a watched stream held at each flush of this buffer's own stream.
struct SyncRecorder : std::stringbuf {
    std::function<std::string()> watched;
    std::vector<std::string> seen;
    int sync() override {
        seen.push_back(watched());
        return 0;
    }
};

// The text up to and including each line end that lies at or after from.
std::vector<std::string> LineEnds(const std::string& text, std::size_t from = 0) {
    std::vector<std::string> ends;
    for (auto end = text.find('\n', from); end != std::string::npos;
         end = text.find('\n', end + 1)) {
        ends.push_back(text.substr(0, end + 1));
    }
    return ends;
}

// Each line ends with std::endl, a flush, once its bytes are in; a field width the caller left on
// the stream pads the first insertion only, the indent of the first line, in the stream's fill.
TEST(PrintPropertyTree, FlushesEachLineAndPadsOnlyTheFirstIndentToALeftoverWidth) {
    std::stringstream out;
    SyncRecorder buffer;
    buffer.watched = [&] { return buffer.str(); };
    out.std::ios::rdbuf(&buffer);
    out << "header\n";
    out.width(8);
    out.fill('*');
    SystemInfoPTree::PrintPropertyTree(Document({kFirst, kFirst}), out);
    const std::string expected = "header\n****" + kFirstLines + kFirstLines;
    EXPECT_EQ(buffer.str(), expected);
    EXPECT_EQ(buffer.seen, LineEnds(expected, 7));
}

// The stream a printed stream is tied to is flushed before each of its writes and by each
// std::endl: it sees every line as soon as the line is complete, the last one included.
TEST(PrintPropertyTree, FlushesTheTiedStreamOnceEachLineIsIn) {
    std::stringstream out;
    SyncRecorder tied_buffer;
    tied_buffer.watched = [&] { return out.str(); };
    std::ostream tied(&tied_buffer);
    out.tie(&tied);
    SystemInfoPTree::PrintPropertyTree(Document({kFirst}), out);
    std::vector<std::string> line_ends;  // each text seen that ends a line, once
    for (const std::string& seen : tied_buffer.seen) {
        if (!seen.empty() && seen.back() == '\n' &&
            (line_ends.empty() || line_ends.back() != seen)) {
            line_ends.push_back(seen);
        }
    }
    EXPECT_EQ(line_ends, LineEnds(kFirstLines));
}

}  // namespace
