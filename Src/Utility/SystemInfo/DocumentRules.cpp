#include "Src/Utility/SystemInfo/DocumentRules.h"

#include <algorithm>
#include <cstring>

namespace Quendal::Document {

namespace {

constexpr std::size_t LongestEntry() {
    std::size_t longest = 0;
    for (const std::string_view entry : kAgentlessComponents) {
        longest = std::max(longest, entry.size());
    }
    return longest;
}

constexpr std::size_t kLongestEntry = LongestEntry();

// Case mapping works byte for byte in place, so it never changes a length: an identifier can
// only match an entry of its own length, and one that no entry shares is decided without
// touching the locale at all.
constexpr std::array<bool, kLongestEntry + 1> EntryLengths() {
    std::array<bool, kLongestEntry + 1> lengths{};
    for (const std::string_view entry : kAgentlessComponents) {
        lengths[entry.size()] = true;
    }
    return lengths;
}

constexpr std::array<bool, kLongestEntry + 1> kEntryLengths = EntryLengths();

bool SomeEntryHasLength(std::size_t length) {
    return length < kEntryLengths.size() && kEntryLengths[length];
}

}  // namespace

bool IsAgentlessComponent(const std::string& software_id) {
    if (!SomeEntryHasLength(software_id.size())) {
        return false;
    }
    return IsAgentlessComponent(software_id, std::use_facet<std::ctype<char>>(std::locale()));
}

bool IsAgentlessComponent(const std::string& software_id, const std::ctype<char>& ctype) {
    const std::size_t length = software_id.size();
    if (!SomeEntryHasLength(length)) {
        return false;
    }
    // Both sides go through the facet's range mapping, as a whole string each, since a facet may
    // map the entries' own capitals too; fixed buffers, as no entry is longer than kLongestEntry.
    char wanted[kLongestEntry];
    std::memcpy(wanted, software_id.data(), length);
    ctype.toupper(wanted, wanted + length);
    for (const std::string_view entry : kAgentlessComponents) {
        if (entry.size() != length) {
            continue;
        }
        char listed[kLongestEntry];
        std::memcpy(listed, entry.data(), length);
        ctype.toupper(listed, listed + length);
        if (std::memcmp(listed, wanted, length) == 0) {
            return true;
        }
    }
    return false;
}

void KeepPrintableBytes(std::string& text) {
    text.erase(std::remove_if(text.begin(), text.end(),
                              [](char byte) {
                                  const auto value = static_cast<signed char>(byte);
                                  return value < 32 || value > 126;
                              }),
               text.end());
}

}  // namespace Quendal::Document
