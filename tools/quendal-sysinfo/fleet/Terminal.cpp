#include "Terminal.h"

namespace Quendal::Tool {

std::string VisibleControls(const std::string& text) {
    static const char* const kHex = "0123456789abcdef";
    std::string visible;
    visible.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\n') || byte == 0x7f) {
            visible += "\\x";
            visible += kHex[byte >> 4];
            visible += kHex[byte & 15];
        } else {
            visible += c;
        }
    }
    return visible;
}

}  // namespace Quendal::Tool
