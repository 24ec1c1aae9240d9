// The diff's readers (XML, JSON in both forms, INFO) against any bytes: they promise
// DocumentError and nothing else, within bounded depth, and a document they take compares equal
// to itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Diff.h"
#include "Input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const auto document = Quendal::Tool::ParseDocument(text, "fuzz");
        const auto comparison = Quendal::Tool::CompareDocuments(document, document);
        if (!comparison.equal) {
            Quendal::Fuzz::Broken("a document differs from itself", comparison.lines.front());
        }
    } catch (const Quendal::Tool::DocumentError&) {
    }
    return 0;
}
