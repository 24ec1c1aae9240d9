#include "local/windows/WindowsEdition.h"

#include <algorithm>
#include <cctype>

namespace Tesmora {

namespace {

constexpr unsigned long kFirstWindows11Build = 22000;

bool ContainsIgnoringCase(const std::string& text, const std::string& part) {
    const auto lower = [](std::string value) {
        std::transform(value.begin(), value.end(), value.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return value;
    };
    return lower(text).find(lower(part)) != std::string::npos;
}

}  // namespace

std::string WindowsOsTypeText(const std::string& product_name, const std::string& edition_id,
                              unsigned long build) {
    if (product_name.empty()) {
        return std::string();
    }
    std::string text = product_name;
    const std::string windows10 = "Windows 10";
    const auto position = text.find(windows10);
    if (build >= kFirstWindows11Build && position != std::string::npos) {
        text.replace(position, windows10.size(), "Windows 11");
    }
    if (!edition_id.empty() && !ContainsIgnoringCase(text, edition_id)) {
        text += " (" + edition_id + ")";
    }
    if (build != 0) {
        text += " build " + std::to_string(build);
    }
    return text;
}

}  // namespace Tesmora
