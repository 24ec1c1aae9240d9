// quendal-sysinfo fleet export: a fleet run's documents and summary as one table for
// firmware-compliance spreadsheets (CSV) or as metrics for monitoring (OpenMetrics text), from
// the run's --output-dir. docs/fleet.md shows both.
//
// Contract. ExportFleet reads DIR/summary.json (ReadSummary) and the document each endpoint's
// entry names, and returns the text; unreadable or hostile input (a document name holding a path
// separator, a document that cannot be read) throws DocumentError. Every value may come from an
// endpoint, so each is escaped for its format:
//   - CSV (RFC 4180): one header line, then one row per endpoint and package (an endpoint
//     without a document or without packages gets one row with empty package fields); CRLF line
//     ends; a field holding a comma, a quote, CR or LF is quoted with its quotes doubled. A field
//     from an endpoint that a spreadsheet would take for a formula (starting with = + - @, TAB or
//     CR) is written after a single quote, which spreadsheets show as text.
//   - OpenMetrics (read by Prometheus too): quendal_scan_success{endpoint,kind} 1 or 0 (whether
//     the endpoint has its document), quendal_scan_duration_seconds{endpoint,kind}, and
//     quendal_firmware_info{endpoint,name,softwareid,version} 1 for each distinct package; label
//     values with \ " and LF escaped, other control characters and ill-formed UTF-8 as U+FFFD;
//     "# EOF" last.
// Nothing else is thrown but std::bad_alloc.
#pragma once

#include <string>

namespace Quendal::Tool {

enum class ExportFormat { kCsv, kOpenMetrics };

std::string ExportFleet(const std::string& dir, ExportFormat format);

// The escaped forms, for their tests.
std::string CsvField(const std::string& value, bool from_endpoint);
std::string LabelValue(const std::string& value);

}  // namespace Quendal::Tool
