#include "FleetPins.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <iostream>
#include <optional>
#include <thread>

#include "FleetFile.h"
#include "FleetSystem.h"
#include "Password.h"
#include "Summary.h"
#include "SysinfoOutput.h"
#include "Terminal.h"
#include "tesmora/PeerCertificate.h"

namespace Quendal::Tool {

namespace {

constexpr int kDone = 0;
constexpr int kSomeLeft = 3;  // as a fleet in which some endpoint failed
constexpr const char* kStatuses[] = {"pinned", "unchanged", "replaced", "changed", "unreachable"};

std::string Joined(const std::vector<std::string>& pins) {
    std::string text;
    for (const std::string& pin : pins) {
        text += (text.empty() ? "" : " ") + pin;
    }
    return text;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    return first == std::string::npos
               ? std::string()
               : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Where each field of a CSV line begins and ends, its quotes included. The line is one
// ParseFleetFile read: a quote opens a field only where blanks alone come before it.
std::vector<std::pair<std::size_t, std::size_t>> FieldSpans(const std::string& line) {
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    std::size_t start = 0;
    bool quoted = false, blank_so_far = true;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                ++i;
            } else if (c == '"') {
                quoted = false;
            }
        } else if (c == '"' && blank_so_far) {
            quoted = true;
            blank_so_far = false;
        } else if (c == ',') {
            spans.emplace_back(start, i);
            start = i + 1;
            blank_so_far = true;
        } else if (c != ' ' && c != '\t') {
            blank_so_far = false;
        }
    }
    spans.emplace_back(start, line.size());
    return spans;
}

std::string CsvWithPins(const std::string& text, const FleetFile& file,
                        const std::vector<std::vector<std::string>>& pins) {
    std::map<std::size_t, std::size_t> endpoint_on;  // line -> endpoint
    for (std::size_t i = 0; i < file.endpoints.size(); ++i) {
        endpoint_on[file.endpoints[i].line] = i;
    }
    std::optional<std::size_t> column;
    const auto header = FieldSpans(file.csv_header);
    for (std::size_t i = 0; i < header.size(); ++i) {
        std::string name =
            Trimmed(file.csv_header.substr(header[i].first, header[i].second - header[i].first));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
            name = name.substr(1, name.size() - 2);
        }
        if (name == "pin") {
            column = i;
        }
    }
    std::string written;
    std::size_t number = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        const bool carriage_return = !line.empty() && line.back() == '\r';
        if (carriage_return) {
            line.pop_back();
        }
        ++number;
        const auto endpoint = endpoint_on.find(number);
        if (number == file.csv_header_line && !column) {
            line += ",pin";
        } else if (endpoint != endpoint_on.end()) {
            const std::vector<std::string>& now = pins[endpoint->second];
            if (!column) {
                line += "," + Joined(now);
            } else if (now != file.endpoints[endpoint->second].pins) {
                const auto spans = FieldSpans(line);
                const auto [from, to] = spans.at(*column);
                line.replace(from, to - from, Joined(now));
            }
        }
        written += line + (carriage_return ? "\r" : "") + (end < text.size() ? "\n" : "");
        at = end + 1;
    }
    return written;
}

// One certificate to read: a host and port, and the endpoints of the file that are there.
struct Target {
    std::string host;
    std::uint16_t port = 0;
    std::vector<std::size_t> endpoints;
    std::vector<std::string> pins;  // what the file pins it to
    Tesmora::CertificateAnswer answer;
};

void ReadAll(std::vector<Target>& targets, unsigned int jobs, const RemoteSettings& remote) {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    const std::size_t count = std::min<std::size_t>(std::max(jobs, 1u), targets.size());
    for (std::size_t i = 0; i < count; ++i) {
        workers.emplace_back([&] {
            for (std::size_t index; (index = next++) < targets.size();) {
                Target& target = targets[index];
                try {
                    target.answer = Tesmora::ReadEndpointCertificate(
                        {target.host, target.port, remote.ca_file, remote.timeout});
                } catch (const std::exception& error) {
                    target.answer.error = std::string("unexpected failure: ") + error.what();
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
}

}  // namespace

std::string FileWithPins(const std::string& text, const FleetFile& file,
                         const std::vector<std::vector<std::string>>& pins) {
    if (!file.json) {
        return CsvWithPins(text, file, pins);
    }
    std::vector<FleetEndpoint> endpoints = file.endpoints;
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        if (pins[i] == endpoints[i].pins) {
            continue;
        }
        nlohmann::json object = nlohmann::json::parse(endpoints[i].text);
        if (pins[i].empty()) {
            object.erase("pin");
        } else if (pins[i].size() == 1) {
            object["pin"] = pins[i].front();
        } else {
            object["pin"] = pins[i];
        }
        endpoints[i].text = object.dump();
    }
    return FleetFileText(file, endpoints);
}

std::string PinTable(const std::vector<PinOutcome>& outcomes, bool replace) {
    std::vector<std::vector<std::string>> rows = {
        {"ENDPOINT", "STATUS", "TRUSTED", "EXPIRES", "PIN", "SUBJECT"}};
    std::map<std::string, std::size_t> counts;
    for (const PinOutcome& outcome : outcomes) {
        rows.push_back({outcome.endpoint, outcome.status, outcome.trusted, outcome.expires,
                        outcome.pin, outcome.about});
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
        for (std::size_t column = 0; column + 1 < row.size(); ++column) {
            line += row[column] + std::string(widths[column] - row[column].size() + 2, ' ');
        }
        line += row.back();
        table += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    }
    table += std::to_string(outcomes.size()) + " endpoints";
    const char* separator = ": ";
    for (const char* status : kStatuses) {
        if (counts[status] > 0) {
            table += separator + std::to_string(counts[status]) + " " + status;
            separator = ", ";
        }
    }
    table += "\n";
    for (const PinOutcome& outcome : outcomes) {
        if (outcome.status == "changed") {
            table += outcome.endpoint + ": pinned to " + Joined(outcome.old_pins) +
                     ", it presents " + outcome.pin +
                     ": a new key, or someone in the middle. Its pin stays; once you know why "
                     "it changed, run again with --replace\n";
        }
    }
    if (replace && counts["replaced"] > 0) {
        table +=
            "--replace: the endpoints marked replaced are pinned to the key they present "
            "now\n";
    }
    return table;
}

std::map<std::pair<std::string, std::uint16_t>, std::vector<std::string>> EndpointPins(
    const FleetFile& file, bool insecure) {
    std::map<std::pair<std::string, std::uint16_t>, std::vector<std::string>> pins;
    for (const FleetEndpoint& endpoint : file.endpoints) {
        if (endpoint.pins.empty()) {
            continue;
        }
        if (insecure) {
            throw UsageError(
                "fleet: --insecure would skip the pins the endpoint file gives (line " +
                std::to_string(endpoint.line) + "): give one or the other");
        }
        pins[{HostKeyOf(endpoint.host), endpoint.port}] = endpoint.pins;
    }
    return pins;
}

int PinFleet(const PinSettings& settings, const FleetGlobals& globals) {
    if (!globals.remote.inventory.empty()) {
        throw UsageError(
            "fleet pin: reads the endpoints' certificates over the network, which "
            "--inventory leaves out");
    }
    if (!globals.output || globals.output->empty() || *globals.output == "-") {
        throw UsageError(
            "fleet pin: --output NEWFILE is needed: where the endpoint file goes "
            "with its pins (the table for review goes to standard output)");
    }
    const std::string& output = *globals.output;
    // The file's text, and the one written, may hold passwords: wiped however this ends.
    struct Wiped {
        std::string text;
        ~Wiped() { WipeSecret(text); }
    } read, written;
    const FleetFile file = ReadFleetFile(settings.file, &read.text);
    const bool passwords = std::any_of(
        file.endpoints.begin(), file.endpoints.end(),
        [](const FleetEndpoint& e) { return e.password_from == PasswordFrom::kInline; });
    if (passwords) {
        if (const auto why = InlinePasswordsRefused(output)) {
            throw UsageError("fleet pin: " + settings.file +
                             " holds passwords, which go only to a file nobody else can read; " +
                             output + ": " + *why + ". Make it private first, or write " +
                             settings.file + " itself");
        }
    }

    std::vector<Target> targets;
    std::map<std::string, std::size_t> target_of;
    for (std::size_t i = 0; i < file.endpoints.size(); ++i) {
        const FleetEndpoint& endpoint = file.endpoints[i];
        const auto [at, fresh] = target_of.emplace(EndpointKeyOf(endpoint), targets.size());
        if (fresh) {
            targets.push_back(Target{endpoint.host, endpoint.port, {}, {}, {}});
        }
        Target& target = targets[at->second];
        target.endpoints.push_back(i);
        if (target.pins.empty()) {
            target.pins = endpoint.pins;
        }
    }
    ReadAll(targets, settings.jobs, globals.remote);

    std::vector<std::vector<std::string>> pins(file.endpoints.size());
    std::vector<PinOutcome> outcomes;
    for (const Target& target : targets) {
        PinOutcome outcome;
        outcome.endpoint = AuthorityOf(target.host, target.port);
        std::vector<std::string> kept = target.pins;
        if (const auto& certificate = target.answer.certificate) {
            outcome.trusted = certificate->distrust.empty() ? "yes" : "no";
            outcome.expires = certificate->not_after.substr(0, certificate->not_after.find(' '));
            outcome.pin = certificate->pin;
            outcome.about = certificate->subject;
            if (target.pins.empty()) {
                outcome.status = "pinned";
                kept = {certificate->pin};
            } else if (std::find(target.pins.begin(), target.pins.end(), certificate->pin) !=
                       target.pins.end()) {
                outcome.status = "unchanged";
            } else {
                outcome.status = settings.replace ? "replaced" : "changed";
                outcome.old_pins = target.pins;
                kept = settings.replace ? std::vector<std::string>{certificate->pin} : kept;
            }
        } else {
            outcome.status = "unreachable";
            outcome.trusted = outcome.expires = outcome.pin = "-";
            outcome.about = target.answer.error +
                            (target.answer.hint.empty() ? "" : " (" + target.answer.hint + ")");
        }
        for (const std::size_t endpoint : target.endpoints) {
            pins[endpoint] = kept;
        }
        outcomes.push_back(std::move(outcome));
    }

    ShowText(std::cout, PinTable(outcomes, settings.replace));
    try {
        written.text = FileWithPins(read.text, file, pins);
        WriteFileAtomically(output, written.text);
    } catch (const std::runtime_error& error) {
        std::cerr << "quendal-sysinfo: error: " << error.what() << '\n';
        return kRunWriteFailed;
    }
    const bool settled = std::all_of(outcomes.begin(), outcomes.end(), [](const PinOutcome& o) {
        return o.status != "changed" && o.status != "unreachable";
    });
    return settled ? kDone : kSomeLeft;
}

}  // namespace Quendal::Tool
