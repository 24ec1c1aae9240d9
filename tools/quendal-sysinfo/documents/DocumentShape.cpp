#include "DocumentShape.h"

#include <algorithm>

#include "Diff.h"

namespace Quendal::Tool {

namespace {

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

}  // namespace

Refusal BeyondShape(char kind, std::string_view text) {
    return kind == '<'   ? XmlBeyondShape(text)
           : kind == '{' ? JsonBeyondShape(text)
                         : InfoBeyondShape(text);
}

std::size_t LineOf(std::string_view text, std::size_t at) {
    return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + at, '\n'));
}

}  // namespace Quendal::Tool
