#include "Terminal.h"

#include <cstdio>

#include "SysinfoOutput.h"

namespace Quendal::Tool {

namespace {

void AppendEscaped(std::string& out, std::string_view bytes) {
    static const char* const kHex = "0123456789abcdef";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    }
}

bool Obeyed(char32_t code_point, LineEnds line_ends) {
    if (code_point == '\t' || (code_point == '\n' && line_ends == LineEnds::kKept)) {
        return false;
    }
    return code_point < 0x20 || (code_point >= 0x7f && code_point <= 0x9f);
}

}  // namespace

void ShowText(std::ostream& stream, const std::string& text) {
    stream << (StreamIsTerminal(stream) ? VisibleControls(text) : text) << std::flush;
}

std::string VisibleControls(std::string_view text, LineEnds line_ends) {
    std::string visible;
    visible.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x7f) {
            visible += text[at++];  // the common case, decided without decoding
            continue;
        }
        const Utf8Step step = DecodeUtf8(text, at);
        const std::string_view bytes = text.substr(at, step.length);
        if (!step.valid || Obeyed(step.code_point, line_ends)) {
            AppendEscaped(visible, bytes);
        } else {
            visible += bytes;
        }
        at += step.length;
    }
    return visible;
}

std::string LogLine(const Tesmora::LogRecord& record) {
    std::string_view text = record.text;
    if (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    const auto slash = record.file.find_last_of("/\\");
    return "[" + std::to_string(record.level) + "] " +
           (slash == std::string::npos ? record.file : record.file.substr(slash + 1)) + ":" +
           std::to_string(record.line) + ": " + VisibleControls(text, LineEnds::kEscaped) + "\n";
}

void VisibleLog::Write(const Tesmora::LogRecord& record) try {
    const std::string line = LogLine(record);
    // One write per record keeps lines of concurrent callers apart.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
} catch (...) {
    // Out of memory: the record is lost, as a sink must not throw.
}

}  // namespace Quendal::Tool
