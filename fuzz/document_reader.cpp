// The diff's readers (XML, JSON in both forms, INFO) against any bytes: they promise
// DocumentError and nothing else, within bounded depth, and a document they take compares equal
// to itself. The compact reader and the tree reader reduced afterwards must agree on every input:
// the same document, or the same error.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Diff.h"
#include "Input.h"

namespace {

std::string ErrorOf(const std::string& text, Quendal::Tool::StoredDocument& read,
                    bool through_tree) {
    try {
        read = through_tree ? Quendal::Tool::StoredDocument::FromTree(
                                  Quendal::Tool::ParseDocumentTree(text, "fuzz"))
                            : Quendal::Tool::ParseDocument(text, "fuzz");
    } catch (const Quendal::Tool::DocumentError& error) {
        return error.what();
    }
    return std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Quendal::Tool::StoredDocument direct;
    Quendal::Tool::StoredDocument through_tree;
    const std::string error = ErrorOf(text, direct, false);
    if (error != ErrorOf(text, through_tree, true)) {
        Quendal::Fuzz::Broken("the readers disagree on whether a document is taken", error);
    }
    if (!error.empty()) {
        return 0;
    }
    if (!(direct == through_tree)) {
        Quendal::Fuzz::Broken("the compact reader reads a document differently", text);
    }
    const auto comparison = Quendal::Tool::CompareDocuments(direct, direct);
    if (!comparison.equal) {
        Quendal::Fuzz::Broken("a document differs from itself", comparison.lines.front());
    }
    return 0;
}
