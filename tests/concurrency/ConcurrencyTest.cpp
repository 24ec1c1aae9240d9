// Many threads at once through the module and the tool's document code, against the inventory
// backend (which serves any number of threads): scans of every kind of target, the document
// written in each form and read back, and one file replaced by all threads at the same time.
// Built as an ordinary test everywhere, and with ThreadSanitizer by the tsan preset, which is
// where a data race shows up; without it the test still checks that every thread got the same
// documents and that the file always held one complete document.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Diff.h"
#include "Output.h"
#include "ReplaceFile.h"
#include "Targets.h"
#include "tesmora/Backend.h"
#include "tesmora/Inventory.h"
#include "tesmora/InventoryBackend.h"
#include "tools/Scratch.h"

namespace {

using Quendal::Tool::Connection;
using Quendal::Tool::Format;
using Quendal::Tool::TargetResult;
namespace Kind = Tesmora::TesmoraConnection;

constexpr int kThreads = 8;
constexpr int kRounds = 6;

Connection At(const std::string& host, std::uint32_t type) {
    return {host, 443, "quendal-ops", "Example-pw-1", 0, 0, 0, type, 0};
}

// Each target of the example inventory, scanned and written as JSON.
std::vector<std::string> ScanAll() {
    const std::vector<TargetResult> results = {
        Quendal::Tool::ScanServer(At("192.0.2.30", Kind::kEndpointBMC), "BMC"),
        Quendal::Tool::ScanCmm(At("192.0.2.10", Kind::kEndpointCMM), "CMM"),
        Quendal::Tool::ScanSwitch(At("192.0.2.10", Kind::kEndpointCMM), "1", "CMM"),
        Quendal::Tool::ScanSmm(At("192.0.2.20", Kind::kEndpointSMM), "SMM"),
        Quendal::Tool::ScanEsxi(At("192.0.2.40", Kind::kEndpointNone), "BMC"),
    };
    std::vector<std::string> documents;
    for (const TargetResult& result : results) {
        documents.push_back(result.complete ? Quendal::Tool::Render(result.document, Format::kJson)
                                            : std::string("incomplete"));
    }
    return documents;
}

// The document written in each stored form and read back; empty when all compare equal.
std::string RoundTrip(const std::string& json) {
    const auto document = Quendal::Tool::ParseDocumentTree(json, "scan");
    const auto stored = Quendal::Tool::StoredDocument::FromTree(document);
    for (const Format format : {Format::kXml, Format::kInfo, Format::kJson}) {
        const auto read =
            Quendal::Tool::ParseDocument(Quendal::Tool::Render(document, format), "again");
        const auto comparison = Quendal::Tool::CompareDocuments(stored, read);
        if (!comparison.equal) {
            return comparison.lines.front();
        }
    }
    return std::string();
}

TEST(Concurrency, ScansDocumentsAndOneOutputFileFromManyThreads) {
    const Quendal::Testing::ScratchDirectory scratch;
    const Tesmora::ScopedBackend backend(std::make_shared<Tesmora::InventoryBackend>(
        Tesmora::Inventory::Load(QUENDAL_EXAMPLE_INVENTORY)));
    const std::vector<std::string> expected = ScanAll();
    for (const std::string& document : expected) {
        ASSERT_NE(document, "incomplete");
    }
    const std::string output = scratch / "out.json";

    std::atomic<int> mismatches{0};
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&, thread] {
            try {
                for (int round = 0; round < kRounds; ++round) {
                    const std::vector<std::string> documents = ScanAll();
                    if (documents != expected) {
                        ++mismatches;
                    }
                    const std::string& mine = documents[(thread + round) % documents.size()];
                    if (const std::string changed = RoundTrip(mine); !changed.empty()) {
                        failures[thread] = "round trip: " + changed;
                    }
                    Quendal::Tool::ReplaceFileWith(output, mine);
                }
            } catch (const std::exception& error) {
                failures[thread] = error.what();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, 0);
    for (int thread = 0; thread < kThreads; ++thread) {
        EXPECT_EQ(failures[thread], "") << "thread " << thread;
    }
    // Whoever wrote last, the file holds one whole document of the set, and no temporary of
    // any writer is left beside it. (Read only now: on Windows a reader holding the file open
    // makes a replacement fail, which is no fault of the writers.)
    const std::string written = Quendal::Testing::Contents(output);
    EXPECT_NE(std::find(expected.begin(), expected.end(), written), expected.end()) << written;
    EXPECT_EQ(scratch.Names(), std::vector<std::string>{"out.json"});
}

}  // namespace
