// How the tool hands a document over: rendered in one of four formats, printed or stored.
//
// Contract. Render never changes the caller's tree. The listing and INFO texts carry the values
// byte for byte. XML and JSON must stay readable by strict parsers whatever bytes the document
// holds (a NAME may carry control bytes or broken UTF-8 from the firmware), so they are written
// from a copy in which, in every key and every value:
//   - each maximal ill-formed UTF-8 subsequence (stray continuation bytes, truncated or overlong
//     sequences, encoded surrogates, anything above U+10FFFF) becomes one U+FFFD;
//   - for XML only, each character XML 1.0 cannot hold (C0 controls other than TAB, LF and CR,
//     and U+FFFE, U+FFFF) becomes one U+FFFD as well.
// JSON needs nothing more: its writer escapes C0 controls itself and passes DEL and UTF-8 on.
// The XML writer escapes < > & " ' but passes CR raw, which XML readers that normalise line
// ends read back as LF. Keys become XML element names unescaped, so Render(kXml) throws
// std::runtime_error for a key that cannot be one; the module's own keys all can.
//
// WriteFileAtomically leaves either the old file or the complete new one at the path, never a
// mixture, even when the process dies half-way. Errors are thrown as std::runtime_error.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Quendal::Tool {

enum class Format { kListing, kXml, kJson, kInfo };

// Command-line names of the formats, in the order the help text shows them.
const std::vector<std::pair<std::string, Format>>& FormatNames();

// kListing: the module's package listing; empty for a document without packages, while a
// package lacking one of the printed keys still throws ptree_bad_path. kXml: indented by two
// spaces, with an XML declaration. kInfo: Boost's INFO syntax.
//
// kJson: the form docs/document.md describes and docs/document.schema.json checks, indented by
// four spaces, keys in document order, "\n" line ends, the same bytes on every platform:
//   - the root object starts with "schema_version": 1, then the tree's own children;
//   - CONTENT.PACKAGES is an array holding each PACKAGE child as an object, and "[]" is added
//     at the end of CONTENT when the tree has no PACKAGES;
//   - CONTENT.TOTAL, CONTENT.ISPARTITION and each package's SLOTTYPE are JSON numbers;
//   - every other leaf is a string, every other node with children an object.
// A tree the module would not build is written the same way as far as that stays faithful,
// and otherwise refused with a std::runtime_error naming the place ("CONTENT.PACKAGES[2].
// SLOTTYPE is "x", not a decimal integer"): a number that is not a decimal integer of at most
// 15 digits, a key repeated within one object (other than PACKAGE under PACKAGES), a child of
// PACKAGES not named PACKAGE, a node holding a value where an object or array belongs (the
// root, CONTENT, PACKAGES, a PACKAGE, any node with children), a root child schema_version.
//
// With scan, the JSON form carries after schema_version a "scan" object saying what the document
// is of: kind, host, port and bay (each only where the target has one), time and tool_version.
// The other formats hold the module's document alone, and so does CONTENT in every format.
struct ScanFacts {
    std::string kind;  // local, server, esxi, cmm, switch or smm
    std::string host;
    std::uint16_t port = 0;
    std::string bay;
    std::string time;  // UtcTime of the scan's start
    std::string tool_version;
};
std::string Render(const boost::property_tree::ptree& document, Format format,
                   const ScanFacts* scan = nullptr);

// "2026-12-06T13:52:10Z": the time in UTC, ISO 8601, to the second.
std::string UtcTime(std::chrono::system_clock::time_point time);

// Writes text to a new temporary file of an unpredictable name next to path, flushes it to disk
// and renames it over path (ReplaceFile.h: what may stand at path, and how a replaced file keeps
// its mode and owner). On failure the temporary is removed, path is untouched, and the message
// names path and the reason. The file is written in binary mode: the bytes are the same on every
// platform.
void WriteFileAtomically(const std::string& path, const std::string& text);

}  // namespace Quendal::Tool
