#include <windows.h>

#include <atomic>

#include "FleetSystem.h"

namespace Quendal::Tool {

namespace {

// The exit status the stop asks for, 0 before any.
std::atomic<int> stop_status{0};

constexpr int kControlC = 128 + 2;  // as a shell reports SIGINT

// Runs in a thread of its own that the system starts for the event.
BOOL WINAPI OnControlEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT: {
            int none = 0;
            // The first is handled here; a second goes on to the default handler, which ends
            // the process at once.
            return stop_status.compare_exchange_strong(none, kControlC) ? TRUE : FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

StopRequests::StopRequests() {
    stop_status = 0;
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

StopRequests::~StopRequests() {
    SetConsoleCtrlHandler(OnControlEvent, FALSE);
}

bool StopRequested() {
    return stop_status.load() != 0;
}

int StopStatus() {
    const int status = stop_status.load();
    return status != 0 ? status : kControlC;
}

// Who may read a file on Windows depends on its access control list, its folder's inherited
// entries and group memberships; rather than judge that half-way, the tool refuses inline
// passwords there altogether.
std::optional<std::string> InlinePasswordsRefused(const std::string&) {
    return std::string(
        "the tool does not judge who may read a file on Windows: use password_env or "
        "password_file");
}

}  // namespace Quendal::Tool
