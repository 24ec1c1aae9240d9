#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "Terminal.h"

namespace Quendal::Tool {

bool StandardInputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> ReadHiddenLine(const std::string& prompt) {
    std::cerr << prompt << std::flush;
    termios saved{};
    const bool restore = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (restore) {
        termios hidden = saved;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (restore) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    }
    std::cerr << '\n';
    if (!read) {
        return std::nullopt;
    }
    return line;
}

}  // namespace Quendal::Tool
