#include "FleetExport.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <tuple>
#include <vector>

#include "FleetFile.h"
#include "Summary.h"
#include "SysinfoDocuments.h"
#include "SysinfoOutput.h"

namespace Quendal::Tool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPackageFields[] = {"NAME", "SOFTWAREID", "VERSION", "CLASSIFICATION",
                                          "SLOTNUM"};

struct Row {
    std::string mt, sn;
    std::vector<std::vector<std::string>> packages;  // kPackageFields of each
};

std::string Scalar(const StoredDocument& document, const char* key) {
    for (const StoredDocument::Field& field : document.Scalars()) {
        if (document.Key(field.key) == key) {
            return std::string(document.Value(field));
        }
    }
    return std::string();
}

Row RowOf(const std::string& dir, const EndpointOutcome& outcome) {
    Row row;
    if (outcome.document.empty()) {
        return row;
    }
    if (outcome.document.find_first_of("/\\:") != std::string::npos) {
        throw DocumentError((fs::path(dir) / kSummaryFileName).string() + ": names the document " +
                            outcome.document + ", which is not a file name of the folder");
    }
    const StoredDocument document = ReadDocument((fs::path(dir) / outcome.document).string());
    row.mt = Scalar(document, "MT");
    row.sn = Scalar(document, "SN");
    for (std::size_t index = 0; index < document.PackageCount(); ++index) {
        std::vector<std::string> fields;
        for (const char* key : kPackageFields) {
            fields.emplace_back(
                document.ValueOf(document.Package(index), document.KeyNumber(key)).value_or(""));
        }
        row.packages.push_back(std::move(fields));
    }
    return row;
}

std::string EndpointOf(const EndpointOutcome& outcome) {
    return AuthorityOf(outcome.host, outcome.port) +
           (outcome.bay.empty() ? "" : " bay " + outcome.bay);
}

std::string Csv(const std::string& dir, const FleetSummary& summary) {
    std::string text =
        "endpoint,kind,MT,SN,NAME,SOFTWAREID,VERSION,CLASSIFICATION,SLOTNUM,status\r\n";
    for (const EndpointOutcome& outcome : summary.endpoints) {
        Row row = RowOf(dir, outcome);
        if (row.packages.empty()) {
            row.packages.emplace_back(std::size(kPackageFields));
        }
        for (const std::vector<std::string>& package : row.packages) {
            text += CsvField(EndpointOf(outcome), false) + "," + CsvField(outcome.kind, false) +
                    "," + CsvField(row.mt, true) + "," + CsvField(row.sn, true);
            for (const std::string& field : package) {
                text += "," + CsvField(field, true);
            }
            text += "," + CsvField(outcome.status, false) + "\r\n";
        }
    }
    return text;
}

std::string OpenMetrics(const std::string& dir, const FleetSummary& summary) {
    std::string success =
        "# HELP quendal_scan_success Whether the endpoint's document was written (ok, partial or "
        "resumed).\n# TYPE quendal_scan_success gauge\n";
    std::string duration =
        "# HELP quendal_scan_duration_seconds How long the endpoint's scan took.\n"
        "# TYPE quendal_scan_duration_seconds gauge\n"
        "# UNIT quendal_scan_duration_seconds seconds\n";
    std::string firmware =
        "# HELP quendal_firmware_info A package the endpoint's document lists.\n"
        "# TYPE quendal_firmware_info gauge\n";
    for (const EndpointOutcome& outcome : summary.endpoints) {
        const std::string endpoint = LabelValue(EndpointOf(outcome));
        const std::string labels =
            "{endpoint=\"" + endpoint + "\",kind=\"" + LabelValue(outcome.kind) + "\"}";
        success += "quendal_scan_success" + labels + (Succeeded(outcome) ? " 1\n" : " 0\n");
        char seconds[64];
        std::snprintf(seconds, sizeof seconds, " %.3f\n", outcome.seconds);
        duration += "quendal_scan_duration_seconds" + labels + seconds;
        // One series per distinct package: two power supplies alike are one fact.
        std::set<std::tuple<std::string, std::string, std::string>> seen;
        for (const std::vector<std::string>& package : RowOf(dir, outcome).packages) {
            if (seen.emplace(package[0], package[1], package[2]).second) {
                firmware += "quendal_firmware_info{endpoint=\"" + endpoint + "\",name=\"" +
                            LabelValue(package[0]) + "\",softwareid=\"" + LabelValue(package[1]) +
                            "\",version=\"" + LabelValue(package[2]) + "\"} 1\n";
            }
        }
    }
    return success + duration + firmware + "# EOF\n";
}

}  // namespace

std::string CsvField(const std::string& value, bool from_endpoint) {
    std::string field = value;
    if (from_endpoint && !field.empty() &&
        std::string("=+-@\t\r").find(field[0]) != std::string::npos) {
        field.insert(0, 1, '\'');
    }
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        return field;
    }
    std::string quoted = "\"";
    for (const char c : field) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string LabelValue(const std::string& value) {
    std::string label;
    for (std::size_t at = 0; at < value.size();) {
        const Utf8Step step = DecodeUtf8(value, at);
        const char c = value[at];
        if (!step.valid || (step.code_point < 0x20 && c != '\n') || step.code_point == 0x7F) {
            label += kReplacementCharacter;
        } else if (c == '\\' || c == '"') {
            label += {'\\', c};
        } else if (c == '\n') {
            label += "\\n";
        } else {
            label.append(value, at, step.length);
        }
        at += step.length;
    }
    return label;
}

std::string ExportFleet(const std::string& dir, ExportFormat format) {
    const FleetSummary summary = ReadSummary((fs::path(dir) / kSummaryFileName).string());
    return format == ExportFormat::kCsv ? Csv(dir, summary) : OpenMetrics(dir, summary);
}

}  // namespace Quendal::Tool
