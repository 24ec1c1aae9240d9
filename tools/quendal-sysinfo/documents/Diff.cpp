#include "Diff.h"

#include <algorithm>
#include <boost/property_tree/info_parser.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <sstream>
#include <string_view>
#include <tuple>
#include <utility>

#include "DocumentShape.h"
#include "JsonDocument.h"
#include "SysinfoOutput.h"

namespace Quendal::Tool {

namespace pt = boost::property_tree;

namespace {

using Value = std::optional<std::string_view>;  // nullopt: the node is absent
using Fields = StoredDocument::Fields;

constexpr int kReadableVersion = 1;

void CheckSchemaVersion(const std::string& version, const std::string& path) {
    if (version != std::to_string(kReadableVersion)) {
        throw DocumentError(path + ": schema_version " + version + " is not one this tool reads (" +
                            std::to_string(kReadableVersion) + ")");
    }
}

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
    if (const auto version = document.find("schema_version"); version != document.not_found()) {
        CheckSchemaVersion(version->second.data(), path);
        document.erase(document.to_iterator(version));
    }
    // What the document is of is not part of it: comparisons and other formats see CONTENT.
    if (const auto scan = document.find("scan"); scan != document.not_found()) {
        document.erase(document.to_iterator(scan));
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

char KindOf(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    return first == std::string::npos ? ' ' : text[first];
}

void RefuseBeyondShape(char kind, const std::string& text, const std::string& source_name) {
    const Refusal refusal = BeyondShape(kind, text);
    if (refusal.at != std::string::npos) {
        throw DocumentError(source_name + ":" + std::to_string(LineOf(text, refusal.at)) + ": " +
                            refusal.why);
    }
}

pt::ptree ParseTree(char kind, const std::string& text, const std::string& source_name) {
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

// Two documents number their keys each in its own way; this compares fields across them without
// building anything per package. Where a key is missing on one side its value reads as absent.
class Comparer {
public:
    Comparer(const StoredDocument& old_document, const StoredDocument& new_document)
        : old_(old_document),
          new_(new_document),
          to_new_(old_document.KeyCount()),
          new_position_(new_document.KeyCount()),
          new_round_(new_document.KeyCount(), 0),
          seen_round_(new_document.KeyCount(), 0) {
        for (std::uint32_t key = 0; key < to_new_.size(); ++key) {
            to_new_[key] = new_.KeyNumber(old_.Key(key));
        }
    }

    // report(key, old value, new value) for each key whose values differ: the old fields' order,
    // then keys only the new fields have.
    template <typename Report>
    void Differences(Fields old_fields, Fields new_fields, Report report) {
        ++round_;
        for (const StoredDocument::Field& field : new_fields) {
            new_round_[field.key] = round_;
            new_position_[field.key] = static_cast<std::uint32_t>(&field - new_fields.begin());
        }
        for (const StoredDocument::Field& field : old_fields) {
            const std::uint32_t key = to_new_[field.key];
            Value new_value;
            if (key != StoredDocument::kNoKey && new_round_[key] == round_) {
                seen_round_[key] = round_;
                new_value = new_.Value(new_fields.begin()[new_position_[key]]);
            }
            if (const Value old_value = old_.Value(field); old_value != new_value) {
                report(old_.Key(field.key), old_value, new_value);
            }
        }
        for (const StoredDocument::Field& field : new_fields) {
            if (seen_round_[field.key] != round_) {
                report(new_.Key(field.key), Value(), Value(new_.Value(field)));
            }
        }
    }

private:
    const StoredDocument& old_;
    const StoredDocument& new_;
    std::vector<std::uint32_t> to_new_;
    // Per key of the new document, for the pair being compared (round_): where the new fields
    // hold it, and whether the old fields have it too.
    std::vector<std::uint32_t> new_position_;
    std::vector<std::uint32_t> new_round_;
    std::vector<std::uint32_t> seen_round_;
    std::uint32_t round_ = 0;
};

// A package's identity within its document: (SOFTWAREID, SLOTNUM), a missing one reading as "".
class PackageKeys {
public:
    explicit PackageKeys(const StoredDocument& document)
        : document_(document),
          software_id_(document.KeyNumber("SOFTWAREID")),
          slot_(document.KeyNumber("SLOTNUM")) {}

    std::pair<std::string_view, std::string_view> Of(std::size_t package) const {
        const Fields fields = document_.Package(package);
        return {document_.ValueOf(fields, software_id_).value_or(""),
                document_.ValueOf(fields, slot_).value_or("")};
    }

    std::string Heading(char mark, std::size_t package) const {
        const auto [software_id, slot] = Of(package);
        return std::string(1, mark) + " package SOFTWAREID=" + Quoted(software_id) +
               " SLOTNUM=" + Quoted(slot) + ":";
    }

    std::string AddedOrRemoved(char mark, std::size_t package, Change& change) const {
        const auto [software_id, slot] = Of(package);
        change.what = mark == '+' ? Change::What::kAdded : Change::What::kRemoved;
        change.software_id = software_id;
        change.slot = slot;
        std::string line = Heading(mark, package);
        for (const char* field : {"NAME", "VERSION"}) {
            if (const Value value =
                    document_.ValueOf(document_.Package(package), document_.KeyNumber(field))) {
                line += std::string(" ") + field + "=" + Quoted(value);
                FieldChange told{field, std::nullopt, std::nullopt};
                (mark == '+' ? told.after : told.before) = std::string(*value);
                change.fields.push_back(std::move(told));
            }
        }
        return line;
    }

private:
    const StoredDocument& document_;
    std::uint32_t software_id_;
    std::uint32_t slot_;
};

}  // namespace

StoredDocument ReadDocument(const std::string& path) {
    std::string text;
    try {
        text = ReadRegularFile(path, kMaxDocumentBytes, "a stored document");
    } catch (const FileError& error) {
        throw DocumentError(error.what());
    }
    return ParseDocument(text, path);
}

StoredDocument ParseDocument(const std::string& text, const std::string& source_name) {
    const char kind = KindOf(text);
    RefuseBeyondShape(kind, text, source_name);
    if (kind == '{') {
        if (std::optional<JsonDocument> read = ReadJsonDocument(text)) {
            if (read->schema_version) {
                CheckSchemaVersion(*read->schema_version, source_name);
            }
            if (!read->has_content) {
                throw DocumentError(source_name + ": no CONTENT document");
            }
            return std::move(read->stored);
        }
        // Not JSON that reader takes: the tree reader says where and why, in its own words.
    }
    return StoredDocument::FromTree(ParseTree(kind, text, source_name));
}

pt::ptree ParseDocumentTree(const std::string& text, const std::string& source_name) {
    const char kind = KindOf(text);
    RefuseBeyondShape(kind, text, source_name);
    return ParseTree(kind, text, source_name);
}

Comparison CompareDocuments(const StoredDocument& old_document,
                            const StoredDocument& new_document) {
    Comparison comparison{true, {}, {}};
    std::vector<std::string>& lines = comparison.lines;
    std::vector<Change>& changes = comparison.changes;
    const auto owned = [](const Value& value) {
        return value ? std::optional<std::string>(*value) : std::nullopt;
    };
    Comparer comparer(old_document, new_document);
    comparer.Differences(
        old_document.Scalars(), new_document.Scalars(),
        [&](const std::string& key, const Value& old_value, const Value& new_value) {
            lines.push_back("~ CONTENT." + key + ": " + Quoted(old_value) + " -> " +
                            Quoted(new_value));
            changes.push_back(
                {Change::What::kScalar, "", "", {{key, owned(old_value), owned(new_value)}}});
        });

    // Each old package takes the first new package under its key that is still free: the new
    // packages sorted by key and then position, each run of one key taken from its front.
    const PackageKeys old_keys(old_document);
    const PackageKeys new_keys(new_document);
    using Entry = std::tuple<std::string_view, std::string_view, std::size_t>;
    std::vector<Entry> free_new;
    free_new.reserve(new_document.PackageCount());
    for (std::size_t index = 0; index < new_document.PackageCount(); ++index) {
        const auto [software_id, slot] = new_keys.Of(index);
        free_new.emplace_back(software_id, slot, index);
    }
    std::sort(free_new.begin(), free_new.end());
    std::vector<std::uint32_t> taken(free_new.size(), 0);  // per run, at its first entry
    std::vector<bool> paired(new_document.PackageCount(), false);
    std::vector<std::string> changed;
    std::vector<Change> changed_packages;
    for (std::size_t index = 0; index < old_document.PackageCount(); ++index) {
        const auto [software_id, slot] = old_keys.Of(index);
        const auto run =
            std::lower_bound(free_new.begin(), free_new.end(), Entry(software_id, slot, 0));
        const std::size_t first = static_cast<std::size_t>(run - free_new.begin());
        const std::size_t next = first < free_new.size() ? first + taken[first] : first;
        if (next >= free_new.size() || std::get<0>(free_new[next]) != software_id ||
            std::get<1>(free_new[next]) != slot) {
            changes.emplace_back();
            lines.push_back(old_keys.AddedOrRemoved('-', index, changes.back()));
            continue;
        }
        ++taken[first];
        const std::size_t partner = std::get<2>(free_new[next]);
        paired[partner] = true;
        std::string told;
        Change change{Change::What::kChanged, std::string(software_id), std::string(slot), {}};
        comparer.Differences(
            old_document.Package(index), new_document.Package(partner),
            [&](const std::string& key, const Value& old_value, const Value& new_value) {
                told += (told.empty() ? " " : ", ") + key + " " + Quoted(old_value) + " -> " +
                        Quoted(new_value);
                change.fields.push_back({key, owned(old_value), owned(new_value)});
            });
        if (!told.empty()) {
            changed.push_back(old_keys.Heading('~', index) + told);
            changed_packages.push_back(std::move(change));
        }
    }
    for (std::size_t index = 0; index < new_document.PackageCount(); ++index) {
        if (!paired[index]) {
            changes.emplace_back();
            lines.push_back(new_keys.AddedOrRemoved('+', index, changes.back()));
        }
    }
    lines.insert(lines.end(), std::make_move_iterator(changed.begin()),
                 std::make_move_iterator(changed.end()));
    changes.insert(changes.end(), std::make_move_iterator(changed_packages.begin()),
                   std::make_move_iterator(changed_packages.end()));
    comparison.equal = lines.empty();
    return comparison;
}

}  // namespace Quendal::Tool
