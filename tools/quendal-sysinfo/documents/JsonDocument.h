// The JSON form of a stored document read straight into a StoredDocument, with no tree between.
// It takes exactly the JSON the tree reader takes and gives exactly what StoredDocument::FromTree
// gives for that reader's tree after the JSON form is turned into the module's (numbers and
// true/false/null as their text, array elements under PACKAGES as packages): the fuzz target
// document_reader and DiffTest compare the two on every input they have.
//
// Where the text is no JSON this reader takes, it answers nullopt rather than an error: the tree
// reader is then run to name the fault in its own words. Nothing is thrown but allocation
// failure and StoredDocument's own limit; no state is kept between calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "StoredDocument.h"

namespace Quendal::Tool {

struct JsonDocument {
    StoredDocument stored;
    // The first top-level member of that name, as the tree would hold its value ("" for an object
    // or array); nullopt when there is none.
    std::optional<std::string> schema_version;
    bool has_content = false;  // a top-level CONTENT member
};

// text starts, after blanks, with '{'.
std::optional<JsonDocument> ReadJsonDocument(std::string_view text);

}  // namespace Quendal::Tool
