#include <io.h>
#include <windows.h>

#include <iostream>

#include "Terminal.h"

namespace Quendal::Tool {

namespace {

// What Ctrl-C or a closed console must put back while echo is off; the console calls the
// handler on a thread of its own.
HANDLE hidden_input = INVALID_HANDLE_VALUE;
DWORD saved_mode = 0;

BOOL WINAPI RestoreOnEnd(DWORD) {
    SetConsoleMode(hidden_input, saved_mode);
    return FALSE;  // the default handling ends the process, as it would have
}

// Echo off for its lifetime, and back on however the process leaves it.
class HiddenInput {
public:
    HiddenInput() {
        hidden_input = GetStdHandle(STD_INPUT_HANDLE);
        if (GetConsoleMode(hidden_input, &saved_mode) == 0) {
            return;
        }
        active_ = true;
        SetConsoleCtrlHandler(RestoreOnEnd, TRUE);
        SetConsoleMode(hidden_input, saved_mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }

    ~HiddenInput() {
        if (active_) {
            SetConsoleMode(hidden_input, saved_mode);
            SetConsoleCtrlHandler(RestoreOnEnd, FALSE);
        }
    }

    HiddenInput(const HiddenInput&) = delete;
    HiddenInput& operator=(const HiddenInput&) = delete;

private:
    bool active_ = false;
};

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool StandardInputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

bool StreamIsTerminal(std::ostream& stream) {
    if (&stream == &std::cout) {
        return IsConsole(STD_OUTPUT_HANDLE);
    }
    if (&stream == &std::cerr) {
        return IsConsole(STD_ERROR_HANDLE);
    }
    return false;
}

std::optional<std::string> ReadHiddenLine(const std::string& prompt) {
    std::string line;
    bool read = false;
    {
        // Echo goes off before the prompt shows, so that nothing typed early is echoed.
        HiddenInput hidden;
        std::cerr << prompt << std::flush;
        read = static_cast<bool>(std::getline(std::cin, line));
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
