#include "Summary.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "FleetFile.h"
#include "SysinfoDocuments.h"
#include "Terminal.h"

namespace Quendal::Tool {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kSummaryVersion = 2;
constexpr int kFirstSummaryVersion = 1;
constexpr const char* kStatuses[] = {kStatusOk,        kStatusPartial,    kStatusFailed,
                                     kStatusCancelled, kStatusNotScanned, kStatusResumed};
// Each status's key under "counts": a name a script can use as it is.
constexpr std::pair<const char*, const char*> kCountKeys[] = {{kStatusOk, "ok"},
                                                              {kStatusPartial, "partial"},
                                                              {kStatusFailed, "failed"},
                                                              {kStatusCancelled, "cancelled"},
                                                              {kStatusNotScanned, "not_scanned"},
                                                              {kStatusResumed, "resumed"}};
constexpr const char* kFailures[] = {kFailureAuth,      kFailureTls,     kFailureConnect,
                                     kFailureTimeout,   kFailureService, kFailurePartial,
                                     kFailureCancelled, kFailureInput};
constexpr std::pair<Tesmora::Cause, const char*> kFailureOfCause[] = {
    {Tesmora::Cause::kAuthentication, kFailureAuth},
    {Tesmora::Cause::kForbidden, kFailureAuth},
    {Tesmora::Cause::kNameNotResolved, kFailureConnect},
    {Tesmora::Cause::kUnreachable, kFailureConnect},
    {Tesmora::Cause::kCertificate, kFailureTls},
    {Tesmora::Cause::kTls, kFailureTls},
    {Tesmora::Cause::kTimeout, kFailureTimeout},
    {Tesmora::Cause::kWrongService, kFailureService},
    {Tesmora::Cause::kMissingResource, kFailureService},
    {Tesmora::Cause::kBadAnswer, kFailureService},
    {Tesmora::Cause::kRedirect, kFailureService},
    {Tesmora::Cause::kPagingLoop, kFailureService},
    {Tesmora::Cause::kServiceError, kFailureService},
    {Tesmora::Cause::kSystemsList, kFailureInput},
    {Tesmora::Cause::kSession, kFailureService}};

Json OutcomeJson(const EndpointOutcome& outcome) {
    Json scans = Json::array();
    for (const ScanReport& scan : outcome.scans) {
        scans.push_back({{"scan", scan.scan}, {"status", scan.status}, {"meaning", scan.meaning}});
    }
    Json entry = {{"endpoint", AuthorityOf(outcome.host, outcome.port)},
                  {"kind", outcome.kind},
                  {"host", outcome.host},
                  {"port", outcome.port}};
    if (!outcome.bay.empty()) {
        entry["bay"] = outcome.bay;
    }
    entry["status"] = outcome.status;
    if (!outcome.failure.empty()) {
        entry["failure"] = outcome.failure;
    }
    entry["causes"] = outcome.causes;
    entry["missing"] = outcome.missing;
    entry["notes"] = outcome.notes;
    entry["scans"] = scans;
    entry["packages"] = outcome.packages ? Json(*outcome.packages) : Json();
    entry["seconds"] = static_cast<double>(static_cast<long long>(outcome.seconds * 1000)) / 1000;
    entry["document"] = outcome.document.empty() ? Json() : Json(outcome.document);
    return entry;
}

// Reads one member, throwing DocumentError where it is missing or of another type.
class Reader {
public:
    explicit Reader(std::string path) : path_(std::move(path)) {}
    const Json& Member(const Json& object, const std::string& where, const char* key,
                       bool (Json::*is)() const noexcept, const char* expected) const {
        const auto found = object.find(key);
        if (found == object.end() || !((*found).*is)()) {
            throw DocumentError(path_ + ": " + where + (where.empty() ? "" : ".") + key +
                                ": expected " + expected);
        }
        return *found;
    }
    std::vector<std::string> Texts(const Json& object, const std::string& where,
                                   const char* key) const {
        std::vector<std::string> texts;
        for (const Json& text : Member(object, where, key, &Json::is_array, "a list")) {
            if (!text.is_string()) {
                throw DocumentError(path_ + ": " + where + "." + key + ": expected texts");
            }
            texts.push_back(text.get<std::string>());
        }
        return texts;
    }

private:
    std::string path_;
};

}  // namespace

const char* FailureOf(Tesmora::Cause cause) {
    for (const auto& [known, failure] : kFailureOfCause) {
        if (known == cause) {
            return failure;
        }
    }
    return kFailureService;
}

std::string OutcomeKey(const EndpointOutcome& outcome) {
    return outcome.kind + " " + AuthorityOf(outcome.host, outcome.port) +
           (outcome.bay.empty() ? "" : " bay " + outcome.bay);
}

bool Succeeded(const EndpointOutcome& outcome) {
    return outcome.status == kStatusOk || outcome.status == kStatusPartial ||
           outcome.status == kStatusResumed;
}

int RunStatus(const std::vector<EndpointOutcome>& outcomes) {
    constexpr int kDone = 0, kSomeFailed = 3, kSomePartial = 6;
    if (!std::all_of(outcomes.begin(), outcomes.end(), Succeeded)) {
        return kSomeFailed;
    }
    return std::any_of(
               outcomes.begin(), outcomes.end(),
               [](const EndpointOutcome& outcome) { return outcome.status == kStatusPartial; })
               ? kSomePartial
               : kDone;
}

std::string SummaryJson(const FleetSummary& summary) {
    Json counts = {{"endpoints", summary.endpoints.size()}};
    for (const auto& [status, key] : kCountKeys) {
        counts[key] = std::count_if(summary.endpoints.begin(), summary.endpoints.end(),
                                    [&](const auto& outcome) { return outcome.status == status; });
    }
    Json endpoints = Json::array();
    for (const EndpointOutcome& outcome : summary.endpoints) {
        endpoints.push_back(OutcomeJson(outcome));
    }
    const Json root = {
        {"summary_version", kSummaryVersion},
        {"interrupted", summary.interrupted},
        {"seconds", static_cast<double>(static_cast<long long>(summary.seconds * 1000)) / 1000},
        {"counts", counts},
        {"endpoints", endpoints}};
    return root.dump(4, ' ', false, Json::error_handler_t::replace) + "\n";
}

FleetSummary ReadSummary(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw DocumentError(path + ": cannot open");
    }
    std::ostringstream text;
    text << stream.rdbuf();
    const Json root = Json::parse(text.str(), nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        throw DocumentError(path + ": not a fleet summary (not a JSON object)");
    }
    const auto version = root.find("summary_version");
    if (version == root.end() ||
        (*version != kSummaryVersion && *version != kFirstSummaryVersion)) {
        throw DocumentError(path + ": not a fleet summary this tool reads (summary_version " +
                            std::to_string(kSummaryVersion) + ")");
    }
    const Reader read(path);
    FleetSummary summary;
    summary.interrupted =
        read.Member(root, "", "interrupted", &Json::is_boolean, "true or false").get<bool>();
    summary.seconds = read.Member(root, "", "seconds", &Json::is_number, "a number").get<double>();
    const Json& endpoints = read.Member(root, "", "endpoints", &Json::is_array, "a list");
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        const Json& entry = endpoints[i];
        const std::string where = "endpoints[" + std::to_string(i) + "]";
        if (!entry.is_object()) {
            throw DocumentError(path + ": " + where + ": expected an object");
        }
        EndpointOutcome outcome;
        const auto text = [&](const char* key) {
            return read.Member(entry, where, key, &Json::is_string, "a text").get<std::string>();
        };
        outcome.kind = text("kind");
        outcome.host = text("host");
        outcome.port = read.Member(entry, where, "port", &Json::is_number_unsigned, "a port")
                           .get<std::uint16_t>();
        outcome.bay = entry.contains("bay") ? text("bay") : std::string();
        outcome.status = text("status");
        if (std::none_of(std::begin(kStatuses), std::end(kStatuses),
                         [&](const char* known) { return outcome.status == known; })) {
            throw DocumentError(path + ": " + where + ".status: unknown status " + outcome.status);
        }
        if (entry.contains("failure")) {  // version 1 lacks it
            outcome.failure = text("failure");
            if (std::none_of(std::begin(kFailures), std::end(kFailures),
                             [&](const char* known) { return outcome.failure == known; })) {
                throw DocumentError(path + ": " + where + ".failure: unknown failure " +
                                    outcome.failure);
            }
        }
        outcome.causes = read.Texts(entry, where, "causes");
        if (entry.contains("missing")) {  // summaries of earlier versions of the tool lack it
            outcome.missing = read.Texts(entry, where, "missing");
        }
        outcome.notes = read.Texts(entry, where, "notes");
        for (const Json& scan : read.Member(entry, where, "scans", &Json::is_array, "a list")) {
            if (!scan.is_object() || !scan.value("scan", Json()).is_string() ||
                !scan.value("status", Json()).is_number_integer() ||
                !scan.value("meaning", Json()).is_string()) {
                throw DocumentError(path + ": " + where + ".scans: expected scan, status, meaning");
            }
            outcome.scans.push_back(ScanReport{scan["scan"].get<std::string>(),
                                               scan["status"].get<int>(),
                                               scan["meaning"].get<std::string>()});
        }
        const Json& packages = entry.value("packages", Json());
        if (packages.is_number_unsigned()) {
            outcome.packages = packages.get<std::size_t>();
        }
        outcome.seconds =
            read.Member(entry, where, "seconds", &Json::is_number, "a number").get<double>();
        const Json& document = entry.value("document", Json());
        if (document.is_string()) {
            outcome.document = document.get<std::string>();
        }
        summary.endpoints.push_back(std::move(outcome));
    }
    return summary;
}

std::string SummaryTable(const FleetSummary& summary) {
    std::vector<std::vector<std::string>> rows = {
        {"ENDPOINT", "KIND", "STATUS", "PACKAGES", "SECONDS", "CAUSE"}};
    std::map<std::string, std::size_t> counts;
    for (const EndpointOutcome& outcome : summary.endpoints) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f", outcome.seconds);
        rows.push_back(
            {AuthorityOf(outcome.host, outcome.port) +
                 (outcome.bay.empty() ? "" : " bay " + outcome.bay),
             outcome.kind, outcome.status,
             outcome.packages ? std::to_string(*outcome.packages) : "-", seconds,
             VisibleControls(!outcome.causes.empty()    ? outcome.causes.front()
                             : !outcome.missing.empty() ? "lacks " + outcome.missing.front()
                                                        : std::string(),
                             LineEnds::kEscaped)});
        ++counts[outcome.status];
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < row.size(); ++column) {
            const std::string& cell = row[column];
            const std::string pad(widths[column] - cell.size(), ' ');
            // Numbers line up on the right, texts on the left; the last column is not padded.
            const bool number = column == 3 || column == 4;
            line += column + 1 == row.size() ? cell
                    : number                 ? pad + cell + "  "
                                             : cell + pad + "  ";
        }
        table += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    }
    table += std::to_string(summary.endpoints.size()) + " endpoints";
    const char* separator = ": ";
    for (const char* status : kStatuses) {
        if (counts[status] > 0) {
            table += separator + std::to_string(counts[status]) + " " + status;
            separator = ", ";
        }
    }
    return table + (summary.interrupted ? " (the run was stopped)\n" : "\n");
}

}  // namespace Quendal::Tool
