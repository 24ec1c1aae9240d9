// The CIM-XML reader against any bytes: it promises ParseError and nothing else, and what it
// takes stays within its bounds of depth, element count and attributes per element.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Input.h"
#include "cim/Xml.h"

namespace {

namespace Xml = Tesmora::Cim::Xml;

// Counts iteratively: a recursive walk would measure the fuzzer's stack, not the reader's bound.
void CheckBounds(const Xml::Element& root, const Xml::Limits& limits) {
    std::vector<std::pair<const Xml::Element*, std::size_t>> pending{{&root, 1}};
    std::size_t elements = 0;
    while (!pending.empty()) {
        const auto [element, depth] = pending.back();
        pending.pop_back();
        ++elements;
        if (depth > limits.max_depth || elements > limits.max_elements ||
            element->attributes.size() > limits.max_attributes) {
            Quendal::Fuzz::Broken("a document beyond the limits was taken",
                                  "depth " + std::to_string(depth) + ", elements " +
                                      std::to_string(elements) + ", attributes " +
                                      std::to_string(element->attributes.size()));
        }
        element->Attribute("NAME");
        element->Child("VALUE");
        for (const Xml::Element& child : element->children) {
            pending.emplace_back(&child, depth + 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Xml::Limits limits;
    limits.max_depth = 16;
    limits.max_elements = 512;
    limits.max_attributes = 8;
    try {
        CheckBounds(Xml::Parse(text, limits), limits);
    } catch (const Xml::ParseError&) {
    }
    return 0;
}
