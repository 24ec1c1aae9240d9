// Text as the tool's formats carry it. A value from an endpoint is any bytes: ill-formed UTF-8,
// control characters, characters XML cannot hold. The writers, the comparison of stored
// documents and the terminal all step through it by the same rules, which live here.
//
// Contract. Pure functions of their arguments; nothing is thrown but std::bad_alloc.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Quendal::Tool {

// One step through a UTF-8 text: a whole character, or the maximal ill-formed subsequence that
// starts there (at least one byte), which the Unicode standard replaces by one U+FFFD.
struct Utf8Step {
    char32_t code_point;  // 0 when not valid
    std::size_t length;
    bool valid;
};

// The step at text[at], at < text.size(). Overlong forms, encoded surrogates and anything past
// U+10FFFF are ill-formed.
Utf8Step DecodeUtf8(std::string_view text, std::size_t at);

// What XML 1.0 can hold of valid characters: not the C0 controls other than TAB, LF and CR, not
// U+FFFE and U+FFFF.
bool IsXmlChar(char32_t code_point);

inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// Appends text as an XML document holds it: each maximal ill-formed subsequence and each
// character XML cannot hold as one U+FFFD, everything else unchanged.
void AppendAsXmlHoldsIt(std::string& out, std::string_view text);

// Whether AppendAsXmlHoldsIt would append text unchanged.
bool XmlHoldsAsItIs(std::string_view text);

}  // namespace Quendal::Tool
