// The changes between documents as data: diff --format json and fleet diff --format json, in the
// form docs/diff.schema.json describes (docs/document.md and docs/fleet.md show examples).
//
// Contract. Pure functions of their arguments; the texts returned are valid UTF-8 whatever the
// paths and values hold (each ill-formed sequence becomes U+FFFD), indented by four spaces, with
// a final line end. Nothing is thrown but std::bad_alloc.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Summary.h"
#include "SysinfoDocuments.h"

namespace Quendal::Tool {

// What fleet diff found for one endpoint, by its document's name without the extension.
struct EndpointDiff {
    enum class What { kNotCompared, kRemoved, kAdded, kChanged };
    std::string endpoint;
    What what;
    // kNotCompared: the outcome of each run whose document cannot be compared (failed, partial,
    // not done), nullopt for a run where it was fine.
    std::optional<EndpointOutcome> before;
    std::optional<EndpointOutcome> after;
    std::vector<Change> changes;     // kChanged
    std::vector<std::string> lines;  // kChanged: the same as CompareDocuments tells them
};

std::string DocumentDiffJson(const std::string& old_path, const std::string& new_path,
                             const Comparison& comparison);

std::string FleetDiffJson(const std::string& old_dir, const std::string& new_dir,
                          const std::vector<EndpointDiff>& endpoints);

}  // namespace Quendal::Tool
