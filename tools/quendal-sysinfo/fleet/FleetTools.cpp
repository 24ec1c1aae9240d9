#include "FleetTools.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "DiffJson.h"
#include "FleetFile.h"
#include "Password.h"
#include "Summary.h"
#include "SysinfoDocuments.h"
#include "SysinfoOutput.h"
#include "Terminal.h"

namespace Quendal::Tool {

namespace {

namespace fs = std::filesystem;

constexpr int kEqual = 0;
constexpr int kDifferent = 1;

// The documents of a run's folder by name without extension.
std::map<std::string, std::string> DocumentsIn(const std::string& dir) {
    std::map<std::string, std::string> documents;
    std::error_code error;
    for (fs::directory_iterator entry(dir, error), end; !error && entry != end;
         entry.increment(error)) {
        const fs::path& path = entry->path();
        const std::string name = path.filename().string();
        const std::string extension = path.extension().string();
        // Left out: the summary, and temporaries of a write that never finished.
        if (!entry->is_regular_file() || name == kSummaryFileName || name.front() == '.' ||
            (extension != ".json" && extension != ".xml" && extension != ".info")) {
            continue;
        }
        const auto [at, fresh] = documents.emplace(path.stem().string(), path.string());
        if (!fresh) {
            throw UsageError(dir + ": " + at->first + " has two documents, " +
                             fs::path(at->second).filename().string() + " and " + name);
        }
    }
    if (error) {
        throw UsageError(dir + ": cannot list the folder: " + error.message());
    }
    return documents;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream bytes;
    if (!stream || !(bytes << stream.rdbuf())) {
        throw UsageError(path + ": cannot read the document");
    }
    return bytes.str();
}

// The outcomes a run's summary.json tells, by document name without extension; none where the
// folder has no summary (documents gathered by hand).
std::map<std::string, EndpointOutcome> OutcomesIn(const std::string& dir) {
    std::map<std::string, EndpointOutcome> outcomes;
    const fs::path path = fs::path(dir) / kSummaryFileName;
    if (!fs::exists(path)) {
        return outcomes;
    }
    for (EndpointOutcome& outcome : ReadSummary(path.string()).endpoints) {
        FleetEndpoint endpoint;
        endpoint.host = outcome.host;
        endpoint.port = outcome.port;
        endpoint.bay = outcome.bay;
        for (const FleetKind kind : {FleetKind::kServer, FleetKind::kSmm, FleetKind::kCmm,
                                     FleetKind::kSwitch, FleetKind::kEsxi}) {
            if (outcome.kind == KindName(kind)) {
                endpoint.kind = kind;
                outcomes.emplace(DocumentNameOf(endpoint, std::string()), std::move(outcome));
                break;
            }
        }
    }
    return outcomes;
}

// Whether a run's document of an endpoint cannot be compared: the endpoint failed, was
// partial, or was not done.
bool Troubled(const EndpointOutcome* outcome) {
    return outcome != nullptr && outcome->status != kStatusOk && outcome->status != kStatusResumed;
}

// "failed in DIR: cause", "partial in DIR: lacks ...".
std::string TroubleIn(const EndpointOutcome& outcome, const std::string& dir) {
    std::string text = outcome.status + " in " + dir;
    if (!outcome.causes.empty()) {
        return text + ": " + outcome.causes.front();
    }
    for (std::size_t i = 0; i < outcome.missing.size(); ++i) {
        text += (i == 0 ? ": lacks " : ", ") + outcome.missing[i];
    }
    return text;
}

std::string KeyOf(const EndpointOutcome& outcome) {
    FleetEndpoint endpoint;
    endpoint.host = outcome.host;
    endpoint.port = outcome.port;
    return outcome.kind + " " + EndpointKeyOf(endpoint) +
           (outcome.bay.empty() ? "" : " bay " + outcome.bay);
}

}  // namespace

namespace {

std::vector<EndpointDiff> CompareFleets(const std::string& old_dir, const std::string& new_dir) {
    const auto old_documents = DocumentsIn(old_dir);
    const auto new_documents = DocumentsIn(new_dir);
    std::map<std::string, std::pair<std::string, std::string>> paired;
    for (const auto& [name, path] : old_documents) {
        paired[name].first = path;
    }
    for (const auto& [name, path] : new_documents) {
        paired[name].second = path;
    }
    const auto old_outcomes = OutcomesIn(old_dir);
    const auto new_outcomes = OutcomesIn(new_dir);
    for (const auto& outcomes : {&old_outcomes, &new_outcomes}) {
        for (const auto& [name, outcome] : *outcomes) {
            paired[name];
        }
    }
    const auto find = [](const std::map<std::string, EndpointOutcome>& outcomes,
                         const std::string& name) -> const EndpointOutcome* {
        const auto found = outcomes.find(name);
        return found == outcomes.end() ? nullptr : &found->second;
    };
    const auto troubled = [](const EndpointOutcome* outcome) {
        return Troubled(outcome) ? std::optional<EndpointOutcome>(*outcome) : std::nullopt;
    };
    std::vector<EndpointDiff> diffs;
    for (const auto& [name, paths] : paired) {
        // An endpoint a run could not read whole is told as such: its document, missing or
        // short, says nothing of what changed on it.
        const EndpointOutcome* old_outcome = find(old_outcomes, name);
        const EndpointOutcome* new_outcome = find(new_outcomes, name);
        if (Troubled(old_outcome) || Troubled(new_outcome)) {
            const bool same = Troubled(old_outcome) && Troubled(new_outcome) &&
                              old_outcome->status == new_outcome->status &&
                              old_outcome->causes == new_outcome->causes &&
                              old_outcome->missing == new_outcome->missing;
            if (!same) {
                diffs.push_back({name,
                                 EndpointDiff::What::kNotCompared,
                                 troubled(old_outcome),
                                 troubled(new_outcome),
                                 {},
                                 {}});
            }
            continue;
        }
        if (paths.first.empty() && paths.second.empty()) {
            continue;  // in a summary only (not scanned in either run)
        }
        if (paths.second.empty()) {
            diffs.push_back({name, EndpointDiff::What::kRemoved, {}, {}, {}, {}});
        } else if (paths.first.empty()) {
            diffs.push_back({name, EndpointDiff::What::kAdded, {}, {}, {}, {}});
        } else {
            Comparison comparison =
                CompareDocuments(ReadDocument(paths.first), ReadDocument(paths.second));
            if (!comparison.equal) {
                diffs.push_back({name, EndpointDiff::What::kChanged, {}, {}, {}, {}});
                diffs.back().changes = std::move(comparison.changes);
                diffs.back().lines = std::move(comparison.lines);
            }
        }
    }
    return diffs;
}

}  // namespace

int DiffFleets(const std::string& old_dir, const std::string& new_dir, bool json) {
    const std::vector<EndpointDiff> diffs = CompareFleets(old_dir, new_dir);
    if (json) {
        ShowText(std::cout, FleetDiffJson(old_dir, new_dir, diffs));
        return diffs.empty() ? kEqual : kDifferent;
    }
    std::string lines;
    for (const EndpointDiff& diff : diffs) {
        switch (diff.what) {
            case EndpointDiff::What::kNotCompared:
                lines += "! " + diff.endpoint + ": ";
                if (diff.before) {
                    lines += TroubleIn(*diff.before, old_dir);
                }
                if (diff.after) {
                    lines += (diff.before ? "; " : "") + TroubleIn(*diff.after, new_dir);
                }
                lines += "\n";
                break;
            case EndpointDiff::What::kRemoved:
                lines += "- " + diff.endpoint + ": only in " + old_dir + "\n";
                break;
            case EndpointDiff::What::kAdded:
                lines += "+ " + diff.endpoint + ": only in " + new_dir + "\n";
                break;
            case EndpointDiff::What::kChanged:
                lines += "~ " + diff.endpoint + "\n";
                for (const std::string& line : diff.lines) {
                    lines += "    " + line + "\n";
                }
                break;
        }
    }
    ShowText(std::cout, lines);
    return lines.empty() ? kEqual : kDifferent;
}

std::string ShardText(const std::string& file, std::size_t shards, std::size_t index) {
    if (index >= shards) {
        throw UsageError("fleet shard: --index " + std::to_string(index) +
                         " is not below --shards " + std::to_string(shards) +
                         " (shards count from 0)");
    }
    const FleetFile fleet = ReadFleetFile(file);
    std::vector<FleetEndpoint> part;
    std::copy_if(fleet.endpoints.begin(), fleet.endpoints.end(), std::back_inserter(part),
                 [&](const FleetEndpoint& endpoint) { return ShardOf(endpoint, shards) == index; });
    return FleetFileText(fleet, part);
}

int MergeFleets(const std::vector<std::string>& dirs, const std::string& output_dir) {
    FleetSummary merged;
    std::map<std::string, std::string> endpoints, documents;  // -> the folder that has it
    std::vector<std::pair<std::string, std::string>> copies;  // from, to
    for (const std::string& dir : dirs) {
        const std::string summary_path = (fs::path(dir) / kSummaryFileName).string();
        const FleetSummary part = ReadSummary(summary_path);
        for (const EndpointOutcome& outcome : part.endpoints) {
            if (const auto [at, fresh] = endpoints.emplace(KeyOf(outcome), dir); !fresh) {
                throw UsageError(summary_path + ": " + KeyOf(outcome) + " is also in " +
                                 at->second + ": shards must not overlap");
            }
            if (outcome.document.empty()) {
                continue;
            }
            const fs::path from = fs::path(dir) / outcome.document;
            if (outcome.document.find_first_of("/\\:") != std::string::npos ||
                !fs::is_regular_file(from)) {
                throw UsageError(summary_path + ": names the document " + outcome.document +
                                 ", which " + dir + " does not hold");
            }
            if (const auto [at, fresh] = documents.emplace(outcome.document, dir); !fresh) {
                throw UsageError(dir + ": the document " + outcome.document + " is also in " +
                                 at->second);
            }
            copies.emplace_back(from.string(), (fs::path(output_dir) / outcome.document).string());
        }
        merged.endpoints.insert(merged.endpoints.end(), part.endpoints.begin(),
                                part.endpoints.end());
        merged.interrupted = merged.interrupted || part.interrupted;
        merged.seconds = std::max(merged.seconds, part.seconds);  // the parts ran side by side
    }

    std::error_code error;
    fs::create_directories(output_dir, error);
    try {
        if (error || !fs::is_directory(output_dir)) {
            throw std::runtime_error(output_dir + ": cannot create the folder: " + error.message());
        }
        for (const auto& [from, to] : copies) {
            if (!fs::equivalent(from, to, error)) {
                WriteFileAtomically(to, ReadBytes(from));
            }
        }
        WriteFileAtomically((fs::path(output_dir) / kSummaryFileName).string(),
                            SummaryJson(merged));
    } catch (const std::runtime_error& failure) {
        std::cerr << "quendal-sysinfo: error: " << failure.what() << '\n';
        return kRunWriteFailed;
    }
    ShowText(std::cout, SummaryTable(merged));
    return RunStatus(merged.endpoints);
}

}  // namespace Quendal::Tool
