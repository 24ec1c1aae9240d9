// What the tool does with the files it is pointed at, on every platform. The hostile kinds of
// file that only Linux has (FIFOs, device nodes, sockets, modes) are in linux/.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Diff.h"
#include "Output.h"
#include "ReplaceFile.h"
#include "tools/Scratch.h"

namespace {

namespace fs = std::filesystem;
using Quendal::Testing::Contents;
using Quendal::Testing::ErrorOf;
using Quendal::Testing::ScratchDirectory;
using Quendal::Testing::Write;
using Quendal::Tool::WriteFileAtomically;

TEST(WriteFileAtomically, ReplacesAFileWholeAndRefusesWhatIsNoFileWithoutAnyTrace) {
    const ScratchDirectory scratch;
    const std::string path = scratch / "document.xml";
    const std::string binary("line\r\nnul\0end\n", 14);
    WriteFileAtomically(path, "a much longer first content\n");
    WriteFileAtomically(path, binary);
    EXPECT_EQ(Contents(path), binary);

    fs::create_directory(scratch / "occupied");
    const std::pair<std::string, std::string> kRefused[] = {
        {scratch / "occupied", ": not a regular file (a directory); refusing to replace it"},
        {scratch / "missing/document.xml", ": cannot write: "},
    };
    for (const auto& [target, reason] : kRefused) {
        const std::string message = ErrorOf([&] { WriteFileAtomically(target, "new"); });
        // The path the user gave, and never the name of a temporary.
        EXPECT_EQ(message.rfind(target + reason, 0), 0u) << message;
        EXPECT_EQ(message.find(".quendal-"), std::string::npos) << message;
    }
    EXPECT_TRUE(fs::is_directory(scratch / "occupied"));
    EXPECT_EQ(scratch.Names(), (std::vector<std::string>{"document.xml", "occupied"}));
}

// A run killed half-way leaves its temporary; the next run that writes the same target removes
// it, as long as the process that made it is gone.
TEST(WriteFileAtomically, RemovesTheTemporariesOfRunsThatAreGoneAndNoOthers) {
    const ScratchDirectory scratch;
    const std::string gone = "999999996";  // past any process id the system hands out
    const std::string running = std::to_string(getpid());
    const std::string random = "-0123456789abcdef.tmp";
    const std::pair<std::string, bool> kTemporaries[] = {
        {".doc.json.quendal-" + gone + random, false},
        {".doc.json.quendal-" + running + random, true},               // a writer of this process
        {".other.json.quendal-" + gone + random, true},                // another target's
        {".doc.json.quendal-" + gone + "-0123456789abcde.tmp", true},  // not our form
        // Upper case: not our form. (Not the lower-case name above in upper case, which is the
        // same file where names are compared without regard to case.)
        {".doc.json.quendal-" + gone + "-FEDCBA9876543210.tmp", true},
        {"doc.json.tmp-" + gone + "-1", true},  // the old form, not recognised
    };
    std::vector<std::string> kept{"doc.json"};
    for (const auto& [name, stays] : kTemporaries) {
        Write(scratch / name, "left behind");
        if (stays) {
            kept.push_back(name);
        }
    }
    std::sort(kept.begin(), kept.end());
    WriteFileAtomically(scratch / "doc.json", "{}");
    EXPECT_EQ(scratch.Names(), kept);
    EXPECT_EQ(Contents(scratch / "doc.json"), "{}");
}

TEST(ReadDocument, RefusesAFileBeyondTheSizeLimitOrNoFileAtAll) {
    const ScratchDirectory scratch;
    const std::string large = scratch / "large.json";
    Write(large, "{\"CONTENT\": {}}");
    fs::resize_file(large, Quendal::Tool::kMaxDocumentBytes + 1);
    const std::string at_limit = scratch / "at-limit.info";
    Write(at_limit, "CONTENT\n");
    fs::resize_file(at_limit, Quendal::Tool::kMaxDocumentBytes);
    const std::pair<std::string, std::string> kCases[] = {
        {large, ": larger than 64 MiB, the most a stored document may hold"},
        {at_limit, ""},
        {scratch.path().string(), ": not a regular file (a directory)"},
        {scratch / "missing.json", ": cannot open: "},
    };
    for (const auto& [path, reason] : kCases) {
        const std::string message = ErrorOf([&] { Quendal::Tool::ReadDocument(path); });
        EXPECT_EQ(message.rfind(reason.empty() ? "" : path + reason, 0), 0u) << message;
        EXPECT_EQ(message.empty(), reason.empty()) << message;
    }
}

}  // namespace
