// A small, strict XML reader for the answers of CIM servers.
//
// CIM-XML answers are plain documents: elements, attributes, character data, the five predefined
// entities and character references. Nothing more is accepted. A document type declaration is
// refused outright, whatever it holds: it is the only way to declare entities, and declared
// entities are what lets a hostile answer expand a few kilobytes into gigabytes or make the
// reader open other files or URLs. Any other named entity reference is therefore an error too.
//
// The reader works without recursion, so a deeply nested answer cannot exhaust the stack; it
// stops at a nesting depth, an element count and a number of attributes per element that no
// real answer reaches, so the tree it builds stays within a small multiple of the input's size
// (itself capped by the transport). Its time is linear in the input: each byte is looked at a
// bounded number of times (duplicate attributes are found by sorting, not pairwise).
//
// Encoding: UTF-8 only, as CIM-XML prescribes; bytes are kept as they come.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Tesmora::Cim::Xml {

struct Element {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // in document order
    std::vector<Element> children;
    std::string text;  // the character data directly inside, references resolved

    // The value of the attribute with this name, or nullptr.
    const std::string* Attribute(std::string_view attribute) const;
    // The first child element with this name, or nullptr.
    const Element* Child(std::string_view child) const;
};

struct Limits {
    std::size_t max_depth = 64;         // a CIM-XML instance answer nests about ten deep
    std::size_t max_elements = 200000;  // some ten thousand instances with a few properties
    std::size_t max_attributes = 64;    // of one element; CIM-XML's carry at most six
};

class ParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The document's root element. Throws ParseError, whose text says what is wrong and at which
// byte, for anything that is not a well-formed document within the limits.
Element Parse(std::string_view document, const Limits& limits = Limits());

}  // namespace Tesmora::Cim::Xml
