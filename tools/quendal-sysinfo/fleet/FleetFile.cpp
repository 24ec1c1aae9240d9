#include "FleetFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "FleetSystem.h"
#include "Password.h"
#include "Remote.h"
#include "SysinfoOutput.h"
#include "tesmora/HostAddress.h"
#include "tesmora/PeerCertificate.h"

namespace Quendal::Tool {

namespace {

using Fields = std::map<std::string, std::string>;

constexpr const char* kFieldNames[] = {"kind",          "host",     "port", "user", "password_env",
                                       "password_file", "password", "bay",  "pin"};
constexpr std::pair<FleetKind, const char*> kKinds[] = {{FleetKind::kServer, "server"},
                                                        {FleetKind::kSmm, "smm"},
                                                        {FleetKind::kCmm, "cmm"},
                                                        {FleetKind::kSwitch, "switch"},
                                                        {FleetKind::kEsxi, "esxi"}};
constexpr std::uint16_t kHttpsPort = 443;
constexpr std::uint16_t kCimPort = 5989;

bool KnownField(const std::string& name) {
    return std::find_if(std::begin(kFieldNames), std::end(kFieldNames),
                        [&](const char* known) { return name == known; }) != std::end(kFieldNames);
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    return first == std::string::npos
               ? std::string()
               : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool Digits(const std::string& text, std::size_t most) {
    return !text.empty() && text.size() <= most &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Collects the problems of the whole file, each "NAME:LINE: what".
class Problems {
public:
    explicit Problems(std::string name) : name_(std::move(name)) {}
    void Add(std::size_t line, const std::string& what) {
        if (lines_.size() < kMaxProblems) {
            lines_.push_back(name_ + ":" + std::to_string(line) + ": " + what);
        } else {
            ++more_;
        }
    }
    std::size_t Count() const { return lines_.size() + more_; }
    void ThrowAny() const {
        if (lines_.empty()) {
            return;
        }
        std::string message;
        for (const std::string& line : lines_) {
            message += (message.empty() ? "" : "\n") + line;
        }
        if (more_ > 0) {
            message += "\n(and " + std::to_string(more_) + " more problems)";
        }
        throw UsageError(message);
    }

private:
    std::string name_;
    std::vector<std::string> lines_;
    std::size_t more_ = 0;
};

// One endpoint from its fields; what is wrong goes to problems.
FleetEndpoint EndpointFrom(const Fields& fields, std::size_t line, const std::string& folder,
                           const std::optional<std::string>& inline_refused, Problems& problems) {
    FleetEndpoint endpoint;
    endpoint.line = line;
    const auto field = [&](const char* name) {
        const auto found = fields.find(name);
        return found == fields.end() ? std::string() : found->second;
    };
    const std::string kind = field("kind");
    const auto known = std::find_if(std::begin(kKinds), std::end(kKinds),
                                    [&](const auto& entry) { return kind == entry.second; });
    if (known == std::end(kKinds)) {
        problems.Add(line, kind.empty() ? std::string("kind: missing")
                                        : "kind: '" + kind +
                                              "' is not one of server, smm, cmm, switch, esxi");
    } else {
        endpoint.kind = known->first;
    }
    endpoint.port = endpoint.kind == FleetKind::kEsxi ? kCimPort : kHttpsPort;

    std::string why;
    const std::string host = field("host");
    const auto address = Tesmora::ParseHostAddress(host, &why);
    if (host.empty()) {
        problems.Add(line, "host: missing");
    } else if (!address) {
        problems.Add(line, "host: " + why);
    } else {
        endpoint.host = address->host;
        endpoint.port = address->port.value_or(endpoint.port);
    }
    if (const std::string port = field("port"); !port.empty()) {
        if (!Digits(port, 5) || std::stoi(port) < 1 || std::stoi(port) > 65535) {
            problems.Add(line, "port: '" + port + "' is not a number from 1 to 65535");
        } else if (address && address->port && *address->port != std::stoi(port)) {
            problems.Add(line, "port: " + port + ", while host names port " +
                                   std::to_string(*address->port));
        } else {
            endpoint.port = static_cast<std::uint16_t>(std::stoi(port));
        }
    }

    endpoint.bay = field("bay");
    if (endpoint.kind == FleetKind::kSwitch) {
        if (endpoint.bay.empty()) {
            problems.Add(line, "bay: missing: a switch is scanned by its chassis bay");
        } else if (!Digits(endpoint.bay, 3) || std::stoi(endpoint.bay) < 1 ||
                   std::stoi(endpoint.bay) > kMaxBay) {
            problems.Add(line, "bay: '" + endpoint.bay + "' is not a bay number from 1 to " +
                                   std::to_string(kMaxBay));
        } else {
            endpoint.bay = std::to_string(std::stoi(endpoint.bay));  // "02" is bay 2
        }
    } else if (!endpoint.bay.empty()) {
        problems.Add(line,
                     std::string("bay: only a switch has one, not a ") + KindName(endpoint.kind));
    }

    std::istringstream pins(field("pin"));
    for (std::string text; pins >> text;) {
        std::string why;
        if (const auto pin = Tesmora::CanonicalPin(text, &why)) {
            endpoint.pins.push_back(*pin);
        } else {
            problems.Add(line, "pin: '" + text + "' is not a pin: " + why);
        }
    }

    endpoint.user = field("user");
    std::vector<std::pair<PasswordFrom, std::string>> sources;
    for (const auto& [from, name] : {std::pair{PasswordFrom::kEnvironment, "password_env"},
                                     std::pair{PasswordFrom::kFile, "password_file"},
                                     std::pair{PasswordFrom::kInline, "password"}}) {
        if (fields.count(name) > 0) {
            sources.emplace_back(from, field(name));
        }
    }
    if (sources.size() > 1) {
        problems.Add(line, "password: give one of password_env, password_file and password");
    } else if (sources.size() == 1) {
        endpoint.password_from = sources[0].first;
        endpoint.password_source = sources[0].second;
        if (endpoint.password_source.empty()) {
            problems.Add(line, "password: an empty source");
        } else if (endpoint.password_from == PasswordFrom::kEnvironment &&
                   endpoint.password_source.find('=') != std::string::npos) {
            problems.Add(line, "password_env: '" + endpoint.password_source +
                                   "' is not the name of an environment variable");
        } else if (endpoint.password_from == PasswordFrom::kFile && !folder.empty() &&
                   !std::filesystem::path(endpoint.password_source).has_root_name() &&
                   !std::filesystem::path(endpoint.password_source).has_root_directory()) {
            endpoint.password_source =
                (std::filesystem::path(folder) / endpoint.password_source).string();
        } else if (endpoint.password_from == PasswordFrom::kInline && inline_refused) {
            problems.Add(line, "password: an inline password is refused: " + *inline_refused);
        }
    }
    return endpoint;
}

// The line on which each element of an array in the root object begins: the endpoints, once
// the root is known to hold nothing but "endpoints".
std::vector<std::size_t> ElementLines(const std::string& text) {
    std::vector<std::size_t> lines;
    std::vector<char> open;
    std::size_t line = 1;
    bool in_string = false, escaped = false, element_next = false;
    for (const char c : text) {
        if (c == '\n') {
            ++line;
        }
        if (element_next && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            element_next = false;
            if (c != ']') {
                lines.push_back(line);
            }
        }
        if (in_string) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                in_string = false;
            }
            continue;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            open.push_back(c);
            element_next = open.size() == 2 && open[0] == '{' && c == '[';
        } else if ((c == '}' || c == ']') && !open.empty()) {
            open.pop_back();
        } else if (c == ',' && open.size() == 2 && open[1] == '[') {
            element_next = true;
        }
    }
    return lines;
}

void ParseJson(const std::string& text, const std::string& name, const std::string& folder,
               const std::optional<std::string>& inline_refused, FleetFile& file,
               Problems& problems) {
    nlohmann::json root;
    try {
        root = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& error) {
        throw UsageError(name + ": not valid JSON (" + error.what() + ")");
    }
    if (root.is_array()) {
        throw UsageError(name +
                         ": the endpoint file must be an object holding endpoints, "
                         "{\"endpoints\": [...]}, not a list (see docs/fleet.md)");
    }
    if (!root.is_object() || !root.contains("endpoints") || !root["endpoints"].is_array() ||
        root.size() != 1) {
        throw UsageError(name +
                         ": expected an object holding \"endpoints\", a list, and "
                         "nothing else (see docs/fleet.md)");
    }
    const std::vector<std::size_t> lines = ElementLines(text);
    std::size_t index = 0;
    for (const nlohmann::json& object : root["endpoints"]) {
        const std::size_t line = index < lines.size() ? lines[index] : 0;
        ++index;
        if (!object.is_object()) {
            problems.Add(line, "endpoint " + std::to_string(index) + " is not an object");
            continue;
        }
        Fields fields;
        for (const auto& [key, value] : object.items()) {
            if (!KnownField(key)) {
                problems.Add(line, key + ": not a field of an endpoint");
            } else if (key == "pin" && value.is_array() &&
                       std::all_of(value.begin(), value.end(),
                                   [](const nlohmann::json& pin) { return pin.is_string(); })) {
                for (const nlohmann::json& pin : value) {
                    fields[key] += pin.get<std::string>() + " ";
                }
            } else if (value.is_string()) {
                fields[key] = value.get<std::string>();
            } else if ((key == "port" || key == "bay") && value.is_number_unsigned()) {
                fields[key] = std::to_string(value.get<std::uint64_t>());
            } else {
                const char* expected = key == "port" || key == "bay" ? "a number or a text"
                                       : key == "pin"                ? "a text or a list of texts"
                                                                     : "a text";
                problems.Add(line, key + ": expected " + expected + ", not " + value.dump());
            }
        }
        const std::size_t before = problems.Count();
        FleetEndpoint endpoint = EndpointFrom(fields, line, folder, inline_refused, problems);
        endpoint.text = object.dump();
        if (problems.Count() != before) {
            endpoint.host.clear();  // told already: no duplicate check
        }
        file.endpoints.push_back(std::move(endpoint));
    }
}

// The fields of one CSV line; nullopt, with why, for an unbalanced quote.
std::optional<std::vector<std::string>> SplitCsv(const std::string& line, std::string& why) {
    std::vector<std::string> fields(1);
    bool quoted = false, was_quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"' && !was_quoted && Trim(fields.back()).empty()) {
            fields.back().clear();
            quoted = was_quoted = true;
        } else if (c == ',') {
            fields.back() = was_quoted ? fields.back() : Trim(fields.back());
            fields.emplace_back();
            was_quoted = false;
        } else if (was_quoted && c != ' ' && c != '\t') {
            why = "text after a closing quote";
            return std::nullopt;
        } else if (!was_quoted) {
            fields.back() += c;
        }
    }
    if (quoted) {
        why = "a quote is not closed (fields cannot span lines)";
        return std::nullopt;
    }
    fields.back() = was_quoted ? fields.back() : Trim(fields.back());
    return fields;
}

void ParseCsv(const std::string& text, const std::string& folder,
              const std::optional<std::string>& inline_refused, FleetFile& file,
              Problems& problems) {
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> columns;
    for (std::size_t number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (Trim(line).empty() || Trim(line).front() == '#') {
            continue;
        }
        std::string why;
        const auto fields = SplitCsv(line, why);
        if (!fields) {
            problems.Add(number, why);
            continue;
        }
        if (columns.empty()) {
            file.csv_header = line;
            file.csv_header_line = number;
            std::set<std::string> seen;
            for (const std::string& column : *fields) {
                if (!KnownField(column)) {
                    problems.Add(number, "'" + column + "' is not a field of an endpoint");
                } else if (!seen.insert(column).second) {
                    problems.Add(number, "column " + column + " named twice");
                }
            }
            columns = *fields;
            continue;
        }
        if (fields->size() != columns.size()) {
            problems.Add(number, std::to_string(fields->size()) +
                                     " fields, while the header names " +
                                     std::to_string(columns.size()));
            continue;
        }
        Fields named;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (!(*fields)[i].empty()) {
                named[columns[i]] = (*fields)[i];
            }
        }
        const std::size_t before = problems.Count();
        FleetEndpoint endpoint = EndpointFrom(named, number, folder, inline_refused, problems);
        endpoint.text = line;
        if (problems.Count() != before) {
            endpoint.host.clear();  // told already: no duplicate check
        }
        file.endpoints.push_back(std::move(endpoint));
    }
    if (columns.empty()) {
        problems.Add(1, "no header row (kind,host,user,password_env,...)");
    }
}

}  // namespace

const char* KindName(FleetKind kind) {
    for (const auto& [known, name] : kKinds) {
        if (known == kind) {
            return name;
        }
    }
    return "server";
}

FleetFile ParseFleetFile(const std::string& text, const std::string& name,
                         const std::string& folder,
                         const std::optional<std::string>& inline_refused) {
    FleetFile file;
    Problems problems(name);
    const auto first = text.find_first_not_of(" \t\r\n");
    // A list is JSON too, though not an endpoint file: told as such, not as a line of CSV.
    file.json = first != std::string::npos && (text[first] == '{' || text[first] == '[');
    if (file.json) {
        ParseJson(text, name, folder, inline_refused, file, problems);
    } else {
        ParseCsv(text, folder, inline_refused, file, problems);
    }
    // Duplicates: the same document twice, or two names the file system would take for one.
    // And one certificate pinned two ways.
    std::map<std::string, std::size_t> seen;
    std::map<std::string, const FleetEndpoint*> pinned;
    for (const FleetEndpoint& endpoint : file.endpoints) {
        if (endpoint.host.empty()) {
            continue;  // already told
        }
        if (!endpoint.pins.empty()) {
            const auto [other, fresh] = pinned.emplace(EndpointKeyOf(endpoint), &endpoint);
            if (!fresh &&
                std::set<std::string>(endpoint.pins.begin(), endpoint.pins.end()) !=
                    std::set<std::string>(other->second->pins.begin(), other->second->pins.end())) {
                problems.Add(endpoint.line, "pin: not the pins of line " +
                                                std::to_string(other->second->line) +
                                                ", which names the same host and port");
            }
        }
        const auto [at, fresh] = seen.emplace(DocumentNameOf(endpoint, ""), endpoint.line);
        if (!fresh) {
            problems.Add(endpoint.line,
                         "host: " + LabelOf(endpoint) + " (" + KindName(endpoint.kind) +
                             ") is already listed on line " + std::to_string(at->second));
        }
    }
    problems.ThrowAny();
    return file;
}

FleetFile ReadFleetFile(const std::string& path, std::string* content) {
    // The file may hold passwords.
    GuardSecrets();
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        throw UsageError(path + ": cannot read the endpoint file");
    }
    std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    const std::size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    try {
        FleetFile file = ParseFleetFile(text, path, folder, InlinePasswordsRefused(path));
        if (content != nullptr) {
            content->swap(text);
        }
        WipeSecret(text);
        return file;
    } catch (...) {
        WipeSecret(text);
        throw;
    }
}

}  // namespace Quendal::Tool
