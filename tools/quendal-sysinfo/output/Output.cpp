#include "Output.h"

#include <algorithm>
#include <boost/property_tree/info_parser.hpp>
#include <boost/property_tree/xml_parser.hpp>
#include <chrono>
#include <cstdio>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "ReplaceFile.h"
#include "SystemInfo.h"
#include "Text.h"

namespace Quendal::Tool {

namespace pt = boost::property_tree;

namespace {

enum class Target { kJson, kXml };

std::string Sanitized(std::string_view text, Target target) {
    std::string result;
    result.reserve(text.size());
    if (target == Target::kXml) {
        AppendAsXmlHoldsIt(result, text);
        return result;
    }
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Step step = DecodeUtf8(text, at);
        result.append(step.valid ? text.substr(at, step.length) : kReplacementCharacter);
        at += step.length;
    }
    return result;
}

// The characters of XML 1.0 names; start marks those that may also begin one.
constexpr struct {
    char32_t first, last;
    bool start;
} kNameRanges[] = {{'A', 'Z', true},         {'a', 'z', true},       {'_', '_', true},
                   {':', ':', true},         {0xC0, 0xD6, true},     {0xD8, 0xF6, true},
                   {0xF8, 0x2FF, true},      {0x370, 0x37D, true},   {0x37F, 0x1FFF, true},
                   {0x200C, 0x200D, true},   {0x2070, 0x218F, true}, {0x2C00, 0x2FEF, true},
                   {0x3001, 0xD7FF, true},   {0xF900, 0xFDCF, true}, {0xFDF0, 0xFFFD, true},
                   {0x10000, 0xEFFFF, true}, {'0', '9', false},      {'-', '.', false},
                   {0xB7, 0xB7, false},      {0x300, 0x36F, false},  {0x203F, 0x2040, false}};

// Applied to a key that is already valid UTF-8.
bool IsXmlName(std::string_view key) {
    for (std::size_t at = 0; at < key.size();) {
        const Utf8Step step = DecodeUtf8(key, at);
        const auto* range = std::find_if(
            std::begin(kNameRanges), std::end(kNameRanges),
            [&](const auto& r) { return step.code_point >= r.first && step.code_point <= r.last; });
        if (range == std::end(kNameRanges) || (at == 0 && !range->start)) {
            return false;
        }
        at += step.length;
    }
    return !key.empty();
}

// Whether the tree can be written as it is: every key and value already what Sanitized makes
// of it. Almost every document is, and then no copy is needed. A key that is no XML name
// throws here as it would from the copy: both walk the tree in the same order.
bool IsClean(const pt::ptree& tree, Target target) {
    const auto clean = [target](std::string_view text) {
        for (std::size_t at = 0; at < text.size();) {
            if (static_cast<unsigned char>(text[at]) >= 0x20 &&
                static_cast<unsigned char>(text[at]) < 0x80) {
                ++at;  // the common case, decoded without a call
                continue;
            }
            const Utf8Step step = DecodeUtf8(text, at);
            if (!step.valid || (target == Target::kXml && !IsXmlChar(step.code_point))) {
                return false;
            }
            at += step.length;
        }
        return true;
    };
    if (!clean(tree.data())) {
        return false;
    }
    for (const auto& [key, child] : tree) {
        if (!clean(key)) {
            return false;
        }
        if (target == Target::kXml && !IsXmlName(key)) {
            throw std::runtime_error("the key \"" + key +
                                     "\" cannot be written as an XML element name");
        }
        if (!IsClean(child, target)) {
            return false;
        }
    }
    return true;
}

// Fills copy, an empty node already in its place, so that no subtree is copied again on its way
// up (a child built apart and then appended would be copied once more at every level).
void SanitizeInto(const pt::ptree& tree, pt::ptree& copy, Target target) {
    copy.data() = Sanitized(tree.data(), target);
    for (const auto& [key, child] : tree) {
        std::string clean_key = Sanitized(key, target);
        if (target == Target::kXml && !IsXmlName(clean_key)) {
            throw std::runtime_error("the key \"" + clean_key +
                                     "\" cannot be written as an XML element name");
        }
        pt::ptree& slot = copy.push_back({std::move(clean_key), pt::ptree()})->second;
        SanitizeInto(child, slot, target);
    }
}

// The tree itself when it is clean, else the sanitised copy, kept in holder.
const pt::ptree& Sanitized(const pt::ptree& tree, Target target, pt::ptree& holder) {
    if (IsClean(tree, target)) {
        return tree;
    }
    SanitizeInto(tree, holder, target);
    return holder;
}

// The JSON form. Readers that follow the JSON standard keep only the last of repeated keys, so
// the module's repeated PACKAGE children are written as one array; the values that are counts
// or codes the module writes as decimals become numbers. Everything else is a string.
constexpr int kSchemaVersion = 1;

// Where a node sits decides how its children are written.
enum class Level { kRoot, kContent, kPackage, kScan, kOther };

bool IsNumberKey(Level level, std::string_view key) {
    return (level == Level::kContent && (key == "TOTAL" || key == "ISPARTITION")) ||
           (level == Level::kPackage && key == "SLOTTYPE") ||
           (level == Level::kScan && key == "port");
}

// The decimal form the module writes: no sign but a minus, no leading zeros, no "-0", and at
// most 15 digits, which every reader holds exactly (a double is exact up to 2^53).
bool IsDecimalInteger(std::string_view text) {
    const std::string_view digits = text.substr(!text.empty() && text[0] == '-' ? 1 : 0);
    return !digits.empty() && digits.size() <= 15 &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
           (digits[0] != '0' || text == "0");
}

std::runtime_error Unwritable(const std::string& path, const std::string& why) {
    return std::runtime_error("cannot write the document as JSON: " +
                              (path.empty() ? std::string("its root") : path) + " " + why);
}

class JsonWriter {
public:
    std::string Write(const pt::ptree& root) {
        Object(root, "", 0, Level::kRoot);
        out_ += '\n';
        return std::move(out_);
    }

private:
    void Entry(bool& first, int depth) {
        out_ += first ? "\n" : ",\n";
        first = false;
        out_.append(static_cast<std::size_t>(depth) * 4, ' ');
    }

    void Close(bool first, int depth, char bracket) {
        if (!first) {
            out_ += '\n';
            out_.append(static_cast<std::size_t>(depth) * 4, ' ');
        }
        out_ += bracket;
    }

    // The text is valid UTF-8 already; only what JSON forbids raw is escaped.
    void String(std::string_view text) {
        static constexpr char kHex[] = "0123456789abcdef";
        static constexpr std::string_view kEscaped = "\"\\\b\f\n\r\t";
        static constexpr const char* kEscapes[] = {"\\\"", "\\\\", "\\b", "\\f",
                                                   "\\n",  "\\r",  "\\t"};
        out_ += '"';
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (const auto escape = kEscaped.find(c); escape != std::string_view::npos) {
                out_ += kEscapes[escape];
            } else if (byte < 0x20) {
                out_ += {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
            } else {
                out_ += c;
            }
        }
        out_ += '"';
    }

    void Key(std::string_view key) {
        String(key);
        out_ += ": ";
    }

    void Number(const pt::ptree& node, const std::string& path) {
        if (!node.empty()) {
            throw Unwritable(path, "holds children where a number belongs");
        }
        if (!IsDecimalInteger(node.data())) {
            throw Unwritable(path, "is \"" + node.data() + "\", not a decimal integer");
        }
        out_ += node.data();
    }

    void Packages(const pt::ptree& packages, const std::string& path, int depth) {
        if (!packages.data().empty()) {
            throw Unwritable(path, "holds a value where the list of packages belongs");
        }
        out_ += '[';
        bool first = true;
        std::size_t index = 0;
        for (const auto& [key, package] : packages) {
            if (key != "PACKAGE") {
                throw Unwritable(path + "." + key, "is not a PACKAGE");
            }
            Entry(first, depth + 1);
            Object(package, path + "[" + std::to_string(index++) + "]", depth + 1, Level::kPackage);
        }
        Close(first, depth, ']');
    }

    void Object(const pt::ptree& node, const std::string& path, int depth, Level level) {
        if (!node.data().empty()) {
            throw Unwritable(path, "holds a value where an object belongs");
        }
        out_ += '{';
        bool first = true;
        std::set<std::string_view> seen;
        if (level == Level::kRoot) {
            Entry(first, depth + 1);
            Key("schema_version");
            out_ += std::to_string(kSchemaVersion);
            seen.insert("schema_version");
        }
        for (const auto& [key, child] : node) {
            const std::string child_path = path.empty() ? key : path + "." + key;
            if (!seen.insert(key).second) {
                throw Unwritable(child_path, "appears twice in one object");
            }
            Entry(first, depth + 1);
            Key(key);
            if (level == Level::kRoot && key == "CONTENT") {
                Object(child, child_path, depth + 1, Level::kContent);
            } else if (level == Level::kRoot && key == "scan") {
                Object(child, child_path, depth + 1, Level::kScan);
            } else if (level == Level::kContent && key == "PACKAGES") {
                Packages(child, child_path, depth + 1);
            } else if (IsNumberKey(level, key)) {
                Number(child, child_path);
            } else if (child.empty()) {
                String(child.data());
            } else {
                Object(child, child_path, depth + 1, Level::kOther);
            }
        }
        // The module leaves PACKAGES out when there are none; readers should not have to ask.
        if (level == Level::kContent && seen.count("PACKAGES") == 0) {
            Entry(first, depth + 1);
            Key("PACKAGES");
            out_ += "[]";
        }
        Close(first, depth, '}');
    }

    std::string out_;
};

std::string Listing(const pt::ptree& document) {
    // The printer reports a document without packages as ptree_bad_path, the same exception
    // as a package missing a printed key; only the first is an empty listing, so it is told
    // apart here instead of catching.
    std::stringstream out;
    if (document.get_child_optional("CONTENT.PACKAGES.PACKAGE")) {
        SystemInfoPTree::PrintPropertyTree(document, out);
    }
    return out.str();
}

}  // namespace

const std::vector<std::pair<std::string, Format>>& FormatNames() {
    static const std::vector<std::pair<std::string, Format>> kNames = {
        {"listing", Format::kListing},
        {"xml", Format::kXml},
        {"json", Format::kJson},
        {"info", Format::kInfo},
    };
    return kNames;
}

std::string UtcTime(std::chrono::system_clock::time_point time) {
    // Days since 1970-01-01 to a civil date, in the proleptic Gregorian calendar (eras of 400
    // years): no C library call, whose thread safety and range differ between platforms.
    const long long seconds =
        std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
    const long long days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const long long of_day = seconds - days * 86400;
    const long long shifted = days + 719468;
    const long long era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const long long day_of_era = shifted - era * 146097;
    const long long year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const long long day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long long month_index = (5 * day_of_year + 2) / 153;
    const long long day = day_of_year - (153 * month_index + 2) / 5 + 1;
    const long long month = month_index < 10 ? month_index + 3 : month_index - 9;
    const long long year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    char text[160];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year, month, day,
                  of_day / 3600, of_day / 60 % 60, of_day % 60);
    return text;
}

std::string Render(const pt::ptree& document, Format format, const ScanFacts* scan) {
    if (scan != nullptr && format == Format::kJson) {
        pt::ptree facts;
        facts.put("kind", scan->kind);
        if (!scan->host.empty()) {
            facts.put("host", scan->host);
        }
        if (scan->port != 0) {
            facts.put("port", std::to_string(scan->port));
        }
        if (!scan->bay.empty()) {
            facts.put("bay", scan->bay);
        }
        facts.put("time", scan->time);
        facts.put("tool_version", scan->tool_version);
        pt::ptree with_scan = document;
        with_scan.push_front({"scan", std::move(facts)});
        return Render(with_scan, format, nullptr);
    }
    std::ostringstream out;
    switch (format) {
        case Format::kListing:
            return Listing(document);
        case Format::kXml: {
            pt::ptree holder;
            pt::write_xml(out, Sanitized(document, Target::kXml, holder),
                          pt::xml_writer_make_settings<std::string>(' ', 2));
            break;
        }
        case Format::kJson: {
            pt::ptree holder;
            return JsonWriter().Write(Sanitized(document, Target::kJson, holder));
        }
        case Format::kInfo:
            pt::write_info(out, document);
            break;
    }
    return out.str();
}

void WriteFileAtomically(const std::string& path, const std::string& text) {
    ReplaceFileWith(path, text);
}

}  // namespace Quendal::Tool
