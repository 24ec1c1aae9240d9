#include "cim/Xml.h"

#include <algorithm>
#include <cstdint>

namespace Tesmora::Cim::Xml {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || u >= 0x80;
}

bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

class Reader {
public:
    Reader(std::string_view input, const Limits& limits) : in_(input), limits_(limits) {}

    Element Document() {
        if (in_.substr(0, 3) == "\xEF\xBB\xBF") {
            at_ = 3;
        }
        Misc();
        if (at_ >= in_.size() || in_[at_] != '<') {
            Fail("no root element");
        }
        Element root;
        Content(root);
        Misc();
        if (at_ < in_.size()) {
            Fail("content after the root element");
        }
        return root;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw ParseError(what + " (at byte " + std::to_string(at_) + ")");
    }

    bool StartsWith(std::string_view text) const { return in_.substr(at_, text.size()) == text; }

    void Expect(std::string_view text, const char* what) {
        if (!StartsWith(text)) {
            Fail(std::string("expected ") + what);
        }
        at_ += text.size();
    }

    void SkipSpace() {
        while (at_ < in_.size() && IsSpace(in_[at_])) {
            ++at_;
        }
    }

    // Skips to just past the terminator; the text in between is returned.
    std::string_view Until(std::string_view terminator, const char* what) {
        const std::size_t end = in_.find(terminator, at_);
        if (end == std::string_view::npos) {
            Fail(std::string("unterminated ") + what);
        }
        const std::string_view inside = in_.substr(at_, end - at_);
        at_ = end + terminator.size();
        return inside;
    }

    std::string Name() {
        if (at_ >= in_.size() || !IsNameStart(in_[at_])) {
            Fail("expected a name");
        }
        const std::size_t start = at_;
        while (at_ < in_.size() && IsNameChar(in_[at_])) {
            ++at_;
        }
        return std::string(in_.substr(start, at_ - start));
    }

    // A "<!" construct: comments and (inside elements) CDATA pass, declarations are refused.
    void Declaration(std::string* cdata_into) {
        if (StartsWith("<!--")) {
            at_ += 4;
            Until("-->", "comment");
        } else if (cdata_into != nullptr && StartsWith("<![CDATA[")) {
            at_ += 9;
            *cdata_into += Until("]]>", "CDATA section");
        } else if (StartsWith("<!DOCTYPE") || StartsWith("<!ENTITY")) {
            Fail("a document type or entity declaration, which is refused");
        } else {
            Fail("a markup declaration, which is refused");
        }
    }

    // Whitespace, comments and processing instructions (the XML declaration among them).
    void Misc() {
        for (;;) {
            SkipSpace();
            if (StartsWith("<?")) {
                at_ += 2;
                Until("?>", "processing instruction");
            } else if (StartsWith("<!")) {
                Declaration(nullptr);
            } else {
                return;
            }
        }
    }

    // The text of an entity or character reference, at_ on its '&'.
    void Reference(std::string& out) {
        ++at_;
        // No reference is longer than "#x10FFFF": the ';' is looked for that far only.
        const std::size_t end = in_.substr(0, at_ + 13).find(';', at_);
        if (end == std::string_view::npos) {
            Fail("an unterminated reference");
        }
        const std::string_view name = in_.substr(at_, end - at_);
        if (!name.empty() && name[0] == '#') {
            const bool hex = name.size() > 1 && name[1] == 'x';
            const std::string_view digits = name.substr(hex ? 2 : 1);
            std::uint32_t code = 0;
            for (const char c : digits) {
                int digit = -1;
                if (c >= '0' && c <= '9') {
                    digit = c - '0';
                } else if (hex && c >= 'a' && c <= 'f') {
                    digit = c - 'a' + 10;
                } else if (hex && c >= 'A' && c <= 'F') {
                    digit = c - 'A' + 10;
                }
                if (digit < 0 || code > 0x10FFFF) {
                    Fail("a malformed character reference");
                }
                code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
            }
            if (digits.empty() || code == 0 || code > 0x10FFFF ||
                (code >= 0xD800 && code <= 0xDFFF)) {
                Fail("a character reference to no character");
            }
            AppendUtf8(out, code);
        } else if (name == "lt") {
            out += '<';
        } else if (name == "gt") {
            out += '>';
        } else if (name == "amp") {
            out += '&';
        } else if (name == "quot") {
            out += '"';
        } else if (name == "apos") {
            out += '\'';
        } else {
            Fail("a reference to the undeclared entity &" + std::string(name) + ";");
        }
        at_ = end + 1;
    }

    // A start tag, at_ on its '<'; returns whether it closed itself ("<a/>").
    bool StartTag(Element& element) {
        ++at_;
        element.name = Name();
        for (;;) {
            const std::size_t before = at_;
            SkipSpace();
            if (StartsWith("/>")) {
                at_ += 2;
                CheckAttributes(element);
                return true;
            }
            if (StartsWith(">")) {
                ++at_;
                CheckAttributes(element);
                return false;
            }
            if (element.attributes.size() >= limits_.max_attributes) {
                Fail("more than " + std::to_string(limits_.max_attributes) + " attributes in <" +
                     element.name + ">");
            }
            if (at_ == before) {
                Fail("expected whitespace, '>' or '/>' in <" + element.name + ">");
            }
            std::string name = Name();
            SkipSpace();
            Expect("=", "'=' after an attribute name");
            SkipSpace();
            if (at_ >= in_.size() || (in_[at_] != '"' && in_[at_] != '\'')) {
                Fail("expected a quoted attribute value");
            }
            const char quote = in_[at_++];
            std::string value;
            for (;;) {
                if (at_ >= in_.size()) {
                    Fail("an unterminated attribute value");
                }
                const char c = in_[at_];
                if (c == quote) {
                    ++at_;
                    break;
                }
                if (c == '<') {
                    Fail("'<' in an attribute value");
                }
                if (c == '&') {
                    Reference(value);
                } else {
                    value += IsSpace(c) ? ' ' : c;  // attribute-value normalisation
                    ++at_;
                }
            }
            element.attributes.emplace_back(std::move(name), std::move(value));
        }
    }

    // Refuses an attribute given twice: sorted names side by side, not every pair compared.
    void CheckAttributes(const Element& element) const {
        if (element.attributes.size() < 2) {
            return;
        }
        std::vector<std::string_view> names;
        names.reserve(element.attributes.size());
        for (const auto& attribute : element.attributes) {
            names.emplace_back(attribute.first);
        }
        std::sort(names.begin(), names.end());
        const auto twice = std::adjacent_find(names.begin(), names.end());
        if (twice != names.end()) {
            Fail("the attribute " + std::string(*twice) + " twice in <" + element.name + ">");
        }
    }

    // The root element and everything in it, without recursion: open elements are a stack of
    // pointers, each into its parent's children, which stay put while deeper ones grow.
    void Content(Element& root) {
        std::vector<Element*> open;
        std::size_t elements = 1;
        if (!StartTag(root)) {
            open.push_back(&root);
        }
        while (!open.empty()) {
            Element& current = *open.back();
            if (at_ >= in_.size()) {
                Fail("the document ends inside <" + current.name + ">");
            }
            const char c = in_[at_];
            if (c == '&') {
                Reference(current.text);
            } else if (c != '<') {
                // The first of the two: a search for each to the end would make every text
                // node cost the rest of the input.
                const std::size_t end = in_.find_first_of("<&", at_);
                const std::size_t stop = end == std::string_view::npos ? in_.size() : end;
                current.text += in_.substr(at_, stop - at_);
                at_ = stop;
            } else if (StartsWith("</")) {
                at_ += 2;
                const std::string name = Name();
                SkipSpace();
                Expect(">", "'>' to end a closing tag");
                if (name != current.name) {
                    Fail("</" + name + "> closes <" + current.name + ">");
                }
                open.pop_back();
            } else if (StartsWith("<?")) {
                at_ += 2;
                Until("?>", "processing instruction");
            } else if (StartsWith("<!")) {
                Declaration(&current.text);
            } else {
                if (open.size() >= limits_.max_depth) {
                    Fail("elements nested deeper than " + std::to_string(limits_.max_depth));
                }
                if (++elements > limits_.max_elements) {
                    Fail("more than " + std::to_string(limits_.max_elements) + " elements");
                }
                current.children.emplace_back();
                Element& child = current.children.back();
                if (!StartTag(child)) {
                    open.push_back(&child);
                }
            }
        }
    }

    std::string_view in_;
    const Limits& limits_;
    std::size_t at_ = 0;
};

}  // namespace

const std::string* Element::Attribute(std::string_view attribute) const {
    for (const auto& [key, value] : attributes) {
        if (key == attribute) {
            return &value;
        }
    }
    return nullptr;
}

const Element* Element::Child(std::string_view child) const {
    for (const Element& element : children) {
        if (element.name == child) {
            return &element;
        }
    }
    return nullptr;
}

Element Parse(std::string_view document, const Limits& limits) {
    return Reader(document, limits).Document();
}

}  // namespace Tesmora::Cim::Xml
