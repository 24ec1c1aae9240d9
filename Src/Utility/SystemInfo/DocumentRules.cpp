#include "Src/Utility/SystemInfo/DocumentRules.h"

#include <algorithm>
#include <locale>

namespace Quendal::Document {

namespace {

std::string ToUpper(std::string text, const std::ctype<char>& ctype) {
    ctype.toupper(text.data(), text.data() + text.size());
    return text;
}

}  // namespace

bool IsAgentlessComponent(const std::string& software_id) {
    const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
    const std::string wanted = ToUpper(software_id, ctype);
    return std::any_of(
        kAgentlessComponents.begin(), kAgentlessComponents.end(),
        [&](std::string_view entry) { return ToUpper(std::string(entry), ctype) == wanted; });
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
