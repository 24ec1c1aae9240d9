#include "Diff.h"

#include <algorithm>
#include <boost/property_tree/info_parser.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>
#include <utility>

#include "ReplaceFile.h"

namespace Quendal::Tool {

namespace pt = boost::property_tree;

namespace {

using Value = std::optional<std::string>;  // nullopt: the node is absent
using PackageKey = std::pair<std::string, std::string>;

// Pretty-printed XML puts the indentation between child elements into the parent's value.
void DropIndentation(pt::ptree& tree) {
    if (!tree.empty() && tree.data().find_first_not_of(" \t\r\n") == std::string::npos) {
        tree.data().clear();
    }
    for (auto& child : tree) {
        DropIndentation(child.second);
    }
}

// The JSON form since schema_version 1 holds the packages in an array, whose elements the
// reader keys "", and numbers, which it keeps as their text; older JSON repeats the PACKAGE key
// and holds only strings. Both become the tree the module builds.
void FromJsonForm(pt::ptree& document, const std::string& path) {
    static constexpr int kReadableVersion = 1;
    if (const auto version = document.find("schema_version"); version != document.not_found()) {
        if (version->second.data() != std::to_string(kReadableVersion)) {
            throw DocumentError(path + ": schema_version " + version->second.data() +
                                " is not one this tool reads (" + std::to_string(kReadableVersion) +
                                ")");
        }
        document.erase(document.to_iterator(version));
    }
    const auto content = document.find("CONTENT");
    if (content == document.not_found()) {
        return;
    }
    pt::ptree& fields = content->second;
    for (auto field = fields.begin(); field != fields.end();) {
        if (field->first != "PACKAGES") {
            ++field;
        } else if (field->second.empty()) {
            // The module writes no PACKAGES when there are none.
            field = fields.erase(field);
        } else {
            pt::ptree packages;
            for (auto& [key, package] : field->second) {
                packages.push_back({key.empty() ? "PACKAGE" : key, std::move(package)});
            }
            field->second.swap(packages);
            ++field;
        }
    }
}

std::string Quoted(const Value& value) {
    if (!value) {
        return "(absent)";
    }
    static constexpr char kHex[] = "0123456789abcdef";
    static constexpr std::string_view kEscaped = "\"\\\t\n\r";
    static constexpr const char* kEscapes[] = {"\\\"", "\\\\", "\\t", "\\n", "\\r"};
    std::string quoted = "\"";
    for (const char c : *value) {
        const auto byte = static_cast<unsigned char>(c);
        if (const auto escape = kEscaped.find(c); escape != std::string_view::npos) {
            quoted += kEscapes[escape];
        } else if (byte < 0x20 || byte >= 0x7F) {
            quoted += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

Value ChildValue(const pt::ptree& tree, const std::string& key) {
    const auto found = tree.find(key);
    return found == tree.not_found() ? Value() : Value(found->second.data());
}

// Keys of both trees, each once: the first tree's order, then keys only the second has.
std::vector<std::string> UnionOfKeys(const pt::ptree& first, const pt::ptree& second,
                                     const std::string& skipped) {
    std::vector<std::string> keys;
    std::set<std::string> seen{skipped};
    for (const pt::ptree* tree : {&first, &second}) {
        for (const auto& child : *tree) {
            if (seen.insert(child.first).second) {
                keys.push_back(child.first);
            }
        }
    }
    return keys;
}

std::vector<const pt::ptree*> Packages(const pt::ptree& content) {
    std::vector<const pt::ptree*> packages;
    for (const auto& [key, packages_node] : content) {
        if (key != "PACKAGES") {
            continue;
        }
        for (const auto& [package_key, package] : packages_node) {
            if (package_key == "PACKAGE") {
                packages.push_back(&package);
            }
        }
    }
    return packages;
}

PackageKey KeyOf(const pt::ptree& package) {
    return {ChildValue(package, "SOFTWAREID").value_or(""),
            ChildValue(package, "SLOTNUM").value_or("")};
}

std::string PackageHeading(char mark, const pt::ptree& package) {
    const PackageKey key = KeyOf(package);
    return std::string(1, mark) + " package SOFTWAREID=" + Quoted(key.first) +
           " SLOTNUM=" + Quoted(key.second) + ":";
}

std::string AddedOrRemoved(char mark, const pt::ptree& package) {
    std::string line = PackageHeading(mark, package);
    for (const char* field : {"NAME", "VERSION"}) {
        if (const Value value = ChildValue(package, field)) {
            line += std::string(" ") + field + "=" + Quoted(value);
        }
    }
    return line;
}

// Empty when the two packages agree on every field.
std::string Changes(const pt::ptree& old_package, const pt::ptree& new_package) {
    std::string changes;
    for (const std::string& field : UnionOfKeys(old_package, new_package, "")) {
        const Value old_value = ChildValue(old_package, field);
        const Value new_value = ChildValue(new_package, field);
        if (old_value != new_value) {
            changes += (changes.empty() ? " " : ", ") + field + " " + Quoted(old_value) + " -> " +
                       Quoted(new_value);
        }
    }
    return changes;
}

// Where a document first leaves the shape a stored document has, and why; at is npos when it
// does not. Each scan follows its reader's own tokens, so that it counts exactly the levels the
// reader would recurse into, and never builds anything.
struct Refusal {
    std::size_t at = std::string::npos;
    std::string why;
};

Refusal TooDeep(std::size_t at) {
    return {at, "nested deeper than " + std::to_string(kMaxDocumentNesting) +
                    " levels, more than a stored document has"};
}

Refusal JsonBeyondShape(std::string_view text) {
    std::size_t depth = 0;
    bool in_string = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (in_string) {
            if (c == '\\') {
                ++at;
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            if (++depth > kMaxDocumentNesting) {
                return TooDeep(at);
            }
        } else if ((c == '}' || c == ']') && depth > 0) {
            --depth;
        }
    }
    return {};
}

bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.compare(at, prefix.size(), prefix) == 0;
}

// The XML reader stops at the first NUL byte; comments, processing instructions, CDATA and
// declarations hold no elements.
Refusal XmlBeyondShape(std::string_view whole) {
    const std::string_view text = whole.substr(0, whole.find('\0'));
    std::size_t depth = 0;
    std::size_t at = text.find('<');
    const auto past = [&](std::size_t from, std::string_view end) {
        const std::size_t found = text.find(end, from);
        return found == std::string_view::npos ? text.size() : found + end.size();
    };
    while (at < text.size()) {
        if (StartsWith(text, at, "<!--")) {
            at = past(at + 4, "-->");
        } else if (StartsWith(text, at, "<![CDATA[")) {
            at = past(at + 9, "]]>");
        } else if (StartsWith(text, at, "<?")) {
            at = past(at + 2, "?>");
        } else if (StartsWith(text, at, "<!")) {
            // A declaration, with its internal subset in brackets.
            std::size_t brackets = 0;
            for (at += 2; at < text.size() && (brackets > 0 || text[at] != '>'); ++at) {
                brackets += text[at] == '[' ? 1 : 0;
                brackets -= text[at] == ']' && brackets > 0 ? 1 : 0;
            }
            ++at;
        } else if (StartsWith(text, at, "</")) {
            depth -= depth > 0 ? 1 : 0;
            at = past(at + 2, ">");
        } else {
            const std::size_t start = at;
            char quote = '\0';
            for (++at; at < text.size() && (quote != '\0' || text[at] != '>'); ++at) {
                if (quote == '\0' && (text[at] == '"' || text[at] == '\'')) {
                    quote = text[at];
                } else if (text[at] == quote) {
                    quote = '\0';
                }
            }
            if (depth + 1 > kMaxDocumentNesting) {
                return TooDeep(start);
            }
            if (at < text.size() && text[at - 1] != '/') {
                ++depth;
            }
            ++at;
        }
        at = at < text.size() ? text.find('<', at) : text.size();
    }
    return {};
}

// INFO is read line by line; a line ends early at a NUL byte or a ';' comment. Braces are
// structure where a token starts; quoted strings and other words are skipped whole.
Refusal InfoBeyondShape(std::string_view text) {
    const auto is_space = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    std::size_t depth = 0;
    for (std::size_t line_start = 0; line_start < text.size();) {
        const std::size_t line_end = std::min(text.find('\n', line_start), text.size());
        const std::string_view line = text.substr(line_start, line_end - line_start);
        const std::string_view content = line.substr(0, line.find('\0'));
        std::size_t at = 0;
        const auto skip_spaces = [&] {
            while (at < content.size() && is_space(content[at])) {
                ++at;
            }
        };
        skip_spaces();
        if (at < content.size() && content[at] == '#') {
            ++at;
            skip_spaces();
            if (StartsWith(content, at, "include")) {
                return {line_start, "#include is not read in a stored document"};
            }
        } else {
            while (true) {
                skip_spaces();
                if (at >= content.size() || content[at] == ';') {
                    break;
                }
                if (content[at] == '{') {
                    if (++depth > kMaxDocumentNesting) {
                        return TooDeep(line_start + at);
                    }
                    ++at;
                } else if (content[at] == '}') {
                    depth -= depth > 0 ? 1 : 0;
                    ++at;
                } else if (content[at] == '"') {
                    bool escaped = false;
                    for (++at; at < content.size() && (escaped || content[at] != '"'); ++at) {
                        escaped = !escaped && content[at] == '\\';
                    }
                    ++at;
                } else {
                    while (at < content.size() && !is_space(content[at]) && content[at] != ';') {
                        ++at;
                    }
                }
            }
        }
        line_start = line_end + 1;
    }
    return {};
}

std::size_t LineOf(std::string_view text, std::size_t at) {
    return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + at, '\n'));
}

}  // namespace

pt::ptree ReadDocument(const std::string& path) {
    std::string text;
    try {
        text = ReadRegularFile(path, kMaxDocumentBytes, "a stored document");
    } catch (const FileError& error) {
        throw DocumentError(error.what());
    }
    return ParseDocument(text, path);
}

pt::ptree ParseDocument(const std::string& text, const std::string& source_name) {
    const auto first = text.find_first_not_of(" \t\r\n");
    const char kind = first == std::string::npos ? ' ' : text[first];
    const Refusal refusal = kind == '<'   ? XmlBeyondShape(text)
                            : kind == '{' ? JsonBeyondShape(text)
                                          : InfoBeyondShape(text);
    if (refusal.at != std::string::npos) {
        throw DocumentError(source_name + ":" + std::to_string(LineOf(text, refusal.at)) + ": " +
                            refusal.why);
    }

    std::istringstream content(text);
    pt::ptree document;
    try {
        if (kind == '<') {
            pt::read_xml(content, document, pt::xml_parser::no_comments);
            DropIndentation(document);
        } else if (kind == '{') {
            pt::read_json(content, document);
            FromJsonForm(document, source_name);
        } else {
            pt::read_info(content, document);
        }
    } catch (const pt::file_parser_error& error) {
        const std::string line = error.line() == 0 ? "" : ":" + std::to_string(error.line());
        throw DocumentError(source_name + line + ": " + error.message());
    }
    if (document.find("CONTENT") == document.not_found()) {
        throw DocumentError(source_name + ": no CONTENT document");
    }
    return document;
}

Comparison CompareDocuments(const pt::ptree& old_document, const pt::ptree& new_document) {
    static const pt::ptree kNone;
    const pt::ptree& old_content = old_document.get_child("CONTENT", kNone);
    const pt::ptree& new_content = new_document.get_child("CONTENT", kNone);

    Comparison comparison{true, {}};
    std::vector<std::string>& lines = comparison.lines;
    for (const std::string& key : UnionOfKeys(old_content, new_content, "PACKAGES")) {
        const Value old_value = ChildValue(old_content, key);
        const Value new_value = ChildValue(new_content, key);
        if (old_value != new_value) {
            lines.push_back("~ CONTENT." + key + ": " + Quoted(old_value) + " -> " +
                            Quoted(new_value));
        }
    }

    // Each old package takes the first new package under its key that is still free.
    const std::vector<const pt::ptree*> old_packages = Packages(old_content);
    const std::vector<const pt::ptree*> new_packages = Packages(new_content);
    std::map<PackageKey, std::deque<std::size_t>> free_new;
    for (std::size_t index = 0; index < new_packages.size(); ++index) {
        free_new[KeyOf(*new_packages[index])].push_back(index);
    }
    std::vector<bool> paired(new_packages.size(), false);
    std::vector<std::string> changed;
    for (const pt::ptree* old_package : old_packages) {
        std::deque<std::size_t>& candidates = free_new[KeyOf(*old_package)];
        if (candidates.empty()) {
            lines.push_back(AddedOrRemoved('-', *old_package));
            continue;
        }
        paired[candidates.front()] = true;
        const std::string changes = Changes(*old_package, *new_packages[candidates.front()]);
        candidates.pop_front();
        if (!changes.empty()) {
            changed.push_back(PackageHeading('~', *old_package) + changes);
        }
    }
    for (std::size_t index = 0; index < new_packages.size(); ++index) {
        if (!paired[index]) {
            lines.push_back(AddedOrRemoved('+', *new_packages[index]));
        }
    }
    lines.insert(lines.end(), changed.begin(), changed.end());
    comparison.equal = lines.empty();
    return comparison;
}

}  // namespace Quendal::Tool
