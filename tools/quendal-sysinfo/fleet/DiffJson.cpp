#include "DiffJson.h"

#include <nlohmann/json.hpp>

namespace Quendal::Tool {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kDiffVersion = 1;

Json Optional(const std::optional<std::string>& value) {
    return value ? Json(*value) : Json();
}

Json ChangesJson(const std::vector<Change>& changes) {
    static constexpr const char* kWhat[] = {"changed", "removed", "added", "changed"};
    Json list = Json::array();
    for (const Change& change : changes) {
        Json fields = Json::array();
        for (const FieldChange& field : change.fields) {
            fields.push_back({{"field", field.field},
                              {"before", Optional(field.before)},
                              {"after", Optional(field.after)}});
        }
        const bool scalar = change.what == Change::What::kScalar;
        list.push_back(
            {{"change", kWhat[static_cast<int>(change.what)]},
             {"package",
              scalar ? Json() : Json{{"SOFTWAREID", change.software_id}, {"SLOTNUM", change.slot}}},
             {"fields", std::move(fields)}});
    }
    return list;
}

Json OutcomeJson(const std::optional<EndpointOutcome>& outcome) {
    if (!outcome) {
        return Json();
    }
    return {{"status", outcome->status},
            {"failure", outcome->failure.empty() ? Json() : Json(outcome->failure)},
            {"causes", outcome->causes},
            {"missing", outcome->missing}};
}

std::string Dumped(const Json& root) {
    return root.dump(4, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string DocumentDiffJson(const std::string& old_path, const std::string& new_path,
                             const Comparison& comparison) {
    return Dumped({{"diff_version", kDiffVersion},
                   {"old", old_path},
                   {"new", new_path},
                   {"equal", comparison.equal},
                   {"changes", ChangesJson(comparison.changes)}});
}

std::string FleetDiffJson(const std::string& old_dir, const std::string& new_dir,
                          const std::vector<EndpointDiff>& endpoints) {
    static constexpr const char* kWhat[] = {"not compared", "removed", "added", "changed"};
    Json list = Json::array();
    for (const EndpointDiff& endpoint : endpoints) {
        Json entry = {{"endpoint", endpoint.endpoint},
                      {"change", kWhat[static_cast<int>(endpoint.what)]}};
        if (endpoint.what == EndpointDiff::What::kNotCompared) {
            entry["before"] = OutcomeJson(endpoint.before);
            entry["after"] = OutcomeJson(endpoint.after);
        } else if (endpoint.what == EndpointDiff::What::kChanged) {
            entry["changes"] = ChangesJson(endpoint.changes);
        }
        list.push_back(std::move(entry));
    }
    return Dumped({{"diff_version", kDiffVersion},
                   {"old", old_dir},
                   {"new", new_dir},
                   {"equal", endpoints.empty()},
                   {"endpoints", std::move(list)}});
}

}  // namespace Quendal::Tool
