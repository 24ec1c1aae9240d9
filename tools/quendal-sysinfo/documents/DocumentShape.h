// Where a stored document first goes beyond the shape the module writes: deeper nesting than
// kMaxDocumentNesting, or INFO's #include. Each scan follows its reader's own tokens, so that it
// counts exactly the levels that reader would recurse into, and builds nothing; it runs before any
// reader does, so no reader recurses deep enough to exhaust the stack. Pure functions of the
// text; they throw nothing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Quendal::Tool {

// at is npos when the document stays within its shape.
struct Refusal {
    std::size_t at = std::string::npos;
    std::string why;
};

// kind is the document's first character other than a blank: '<' XML, '{' JSON, else INFO.
Refusal BeyondShape(char kind, std::string_view text);

// The 1-based line of the byte at.
std::size_t LineOf(std::string_view text, std::size_t at);

}  // namespace Quendal::Tool
