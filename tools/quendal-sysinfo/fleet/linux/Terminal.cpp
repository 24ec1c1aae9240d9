#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "Terminal.h"

namespace Quendal::Tool {

namespace {

// What a signal that ends the process while echo is off must put back. Written before the
// handlers are installed and only read by them.
termios saved_terminal{};

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void RestoreAndEnd(int signal_number) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_terminal);
    const char newline = '\n';
    [[maybe_unused]] const ssize_t ignored = write(STDERR_FILENO, &newline, 1);
    // End as the signal would have ended the process, so that the caller sees why.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

// Echo off for its lifetime, and back on however the process leaves it.
class HiddenInput {
public:
    HiddenInput() {
        if (tcgetattr(STDIN_FILENO, &saved_terminal) != 0) {
            return;
        }
        active_ = true;
        struct sigaction action {};
        action.sa_handler = RestoreAndEnd;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            sigaction(kEndingSignals[i], &action, &previous_[i]);
        }
        termios hidden = saved_terminal;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }

    ~HiddenInput() {
        if (!active_) {
            return;
        }
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_terminal);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            sigaction(kEndingSignals[i], &previous_[i], nullptr);
        }
    }

    HiddenInput(const HiddenInput&) = delete;
    HiddenInput& operator=(const HiddenInput&) = delete;

private:
    bool active_ = false;
    struct sigaction previous_[std::size(kEndingSignals)]{};
};

}  // namespace

bool StandardInputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

bool StreamIsTerminal(std::ostream& stream) {
    if (&stream == &std::cout) {
        return isatty(STDOUT_FILENO) == 1;
    }
    if (&stream == &std::cerr) {
        return isatty(STDERR_FILENO) == 1;
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
    return line;
}

}  // namespace Quendal::Tool
