#include <io.h>
#include <windows.h>

#include <iostream>

#include "Terminal.h"

namespace Quendal::Tool {

bool StandardInputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

std::optional<std::string> ReadHiddenLine(const std::string& prompt) {
    std::cerr << prompt << std::flush;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    const bool restore = GetConsoleMode(input, &saved) != 0;
    if (restore) {
        SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (restore) {
        SetConsoleMode(input, saved);
    }
    std::cerr << '\n';
    if (!read) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

}  // namespace Quendal::Tool
