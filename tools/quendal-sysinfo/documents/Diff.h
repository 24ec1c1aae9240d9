// Reading stored documents back and saying what changed between two of them.
//
// Contract. ReadDocument accepts what Render wrote in the XML, JSON or INFO format, telling
// them apart by the content rather than the file name; errors are DocumentError. XML is read
// without trimming, so leading and trailing blanks of values survive; the indentation between
// elements, which the reader would keep as the value of every parent, is dropped again. XML
// comments are skipped.
//
// A stored document is data of a known shape, so whatever reaches beyond that shape is refused
// before any tree is built: a file that is not a regular one (a FIFO, a device, a directory), one
// larger than kMaxDocumentBytes, one that nests deeper than kMaxDocumentNesting (objects and
// arrays, elements, or INFO's braces), and INFO's #include directive, which would have the
// reader open any path the document names.
// JSON is read in both of its forms: the current one (schema_version 1, PACKAGES an array,
// numbers) and the older one without schema_version (the PACKAGE key repeated, only strings),
// so documents stored before the change keep comparing. Either becomes the module's tree:
// schema_version is dropped, array elements under PACKAGES become PACKAGE children, numbers
// their decimal text, and an empty PACKAGES is dropped. Another schema_version is a
// DocumentError: "FILE: schema_version 2 is not one this tool reads (1)".
//
// Documents are compared in the compact form of StoredDocument.h, which a JSON document is read
// into directly; XML and INFO are read as trees first (ParseDocumentTree) and then reduced.
//
// CompareDocuments looks at two parts of CONTENT. Scalars: every child other than PACKAGES,
// compared by value; one missing on either side counts as changed. Packages: every PACKAGE
// under PACKAGES, matched by the pair (SOFTWAREID, SLOTNUM), a missing key reading as empty.
// Packages sharing a pair are matched in document order, first with first; the surplus of
// either side is removed or added. So reordering packages changes nothing, while two packages
// under one pair that swap versions are two changed packages.
//
// Lines, in this order: changed scalars (old document's order, then those only in the new),
// removed packages (old order), added packages (new order), changed packages (old order):
//   ~ CONTENT.OS: "Windows 10" -> "Windows 11"
//   ~ CONTENT.SN: "J30A" -> (absent)
//   - package SOFTWAREID="CMM" SLOTNUM="": NAME="CMM Firmware" VERSION="1.4.1"
//   + package SOFTWAREID="NIC-25G" SLOTNUM="3": NAME="Adapter" VERSION="22.31"
//   ~ package SOFTWAREID="SYSFW-PRIMARY" SLOTNUM="": VERSION "1.0" -> "1.1", SLOTTYPE (absent) ->
//   "1"
// Values are compared and shown as StoredDocument keeps them: as an XML document holds them, so
// that one scan's documents are equal whatever their formats. Added and removed packages show
// their NAME and VERSION where they have them. A changed package lists every differing field,
// the old package's field order first. Values are quoted with C escapes (\" \\ \t \n \r) and
// every other byte outside printable ASCII as \xHH with exactly two digits, so each line is one
// line of plain ASCII whatever the document holds.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "StoredDocument.h"

namespace Quendal::Tool {

// "FILE: cannot open: REASON", "FILE:LINE: parser's message", "FILE: no CONTENT document",
// "FILE: larger than 64 MiB, the most a stored document may hold", "FILE:LINE: nested deeper
// than 8 levels, ...", "FILE:LINE: #include is not read in a stored document".
class DocumentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Ten times the largest document a real target gives (some ten thousand packages); the tree
// built from it takes a few times as much memory again.
constexpr std::size_t kMaxDocumentBytes = 64 * 1024 * 1024;
// The module's documents nest four deep (CONTENT, PACKAGES, PACKAGE, a field); the readers
// recurse once per level, so a deeper document could exhaust the stack.
constexpr std::size_t kMaxDocumentNesting = 8;

// The first character other than a blank decides: '<' XML, '{' JSON, anything else INFO.
StoredDocument ReadDocument(const std::string& path);

// The same for a document already in memory; source_name stands for the file in messages.
StoredDocument ParseDocument(const std::string& text, const std::string& source_name);

// The module's tree as the formats' own readers give it back, with the same checks and errors.
boost::property_tree::ptree ParseDocumentTree(const std::string& text,
                                              const std::string& source_name);

// The same differences as data (diff --format json): one Change per line, in the lines' order.
// Values as the lines compare them, unquoted; nullopt where the field is absent on that side.
struct FieldChange {
    std::string field;
    std::optional<std::string> before;
    std::optional<std::string> after;
};

struct Change {
    enum class What { kScalar, kRemoved, kAdded, kChanged };
    What what;
    std::string software_id;          // of a package (all but kScalar)
    std::string slot;                 // its SLOTNUM
    std::vector<FieldChange> fields;  // kScalar: the one; kChanged: each that differs; kRemoved
                                      // and kAdded: NAME and VERSION where the package has them
};

struct Comparison {
    bool equal;                      // no line at all
    std::vector<std::string> lines;  // without line ends
    std::vector<Change> changes;
};

Comparison CompareDocuments(const StoredDocument& old_document, const StoredDocument& new_document);

}  // namespace Quendal::Tool
