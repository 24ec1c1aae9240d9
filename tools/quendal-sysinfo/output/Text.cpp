#include "Text.h"

#include <algorithm>
#include <iterator>

namespace Quendal::Tool {

namespace {

// The well-formed multi-byte sequences by lead byte: how many bytes follow, and the range of
// the first of them, narrowed where needed to exclude overlong forms, surrogates and values
// past U+10FFFF. Later bytes always lie in 80..BF.
constexpr struct {
    unsigned char first, last;
    std::size_t trailing;
    unsigned char low, high;
} kLeads[] = {{0xC2, 0xDF, 1, 0x80, 0xBF}, {0xE0, 0xE0, 2, 0xA0, 0xBF}, {0xE1, 0xEC, 2, 0x80, 0xBF},
              {0xED, 0xED, 2, 0x80, 0x9F}, {0xEE, 0xEF, 2, 0x80, 0xBF}, {0xF0, 0xF0, 3, 0x90, 0xBF},
              {0xF1, 0xF3, 3, 0x80, 0xBF}, {0xF4, 0xF4, 3, 0x80, 0x8F}};

// Printable ASCII and the three line characters: the common case, decided without decoding.
bool PlainXmlByte(unsigned char byte) {
    return (byte >= 0x20 && byte < 0x80) || byte == '\t' || byte == '\n' || byte == '\r';
}

}  // namespace

Utf8Step DecodeUtf8(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return {lead, 1, true};
    }
    const auto* form = std::find_if(std::begin(kLeads), std::end(kLeads), [&](const auto& f) {
        return lead >= f.first && lead <= f.last;
    });
    if (form == std::end(kLeads)) {
        return {0, 1, false};
    }
    char32_t code_point = lead & (0x3F >> form->trailing);
    unsigned char low = form->low;
    unsigned char high = form->high;
    std::size_t length = 1;
    for (; length <= form->trailing; ++length) {
        // Past the end reads as 0, which no range holds.
        const auto byte =
            at + length < text.size() ? static_cast<unsigned char>(text[at + length]) : 0;
        if (byte < low || byte > high) {
            return {0, length, false};
        }
        code_point = (code_point << 6) | (byte & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {code_point, length, true};
}

// Valid UTF-8 already excludes surrogates and values past U+10FFFF.
bool IsXmlChar(char32_t c) {
    return c >= 0x20 ? c != 0xFFFE && c != 0xFFFF : c == 0x09 || c == 0x0A || c == 0x0D;
}

bool XmlHoldsAsItIs(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        if (PlainXmlByte(static_cast<unsigned char>(text[at]))) {
            ++at;
            continue;
        }
        const Utf8Step step = DecodeUtf8(text, at);
        if (!step.valid || !IsXmlChar(step.code_point)) {
            return false;
        }
        at += step.length;
    }
    return true;
}

void AppendAsXmlHoldsIt(std::string& out, std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Step step = DecodeUtf8(text, at);
        if (step.valid && IsXmlChar(step.code_point)) {
            out.append(text.substr(at, step.length));
        } else {
            out.append(kReplacementCharacter);
        }
        at += step.length;
    }
}

}  // namespace Quendal::Tool
