#include <stdio.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "FleetSystem.h"

// Exported by kernel32 since Vista; MinGW's werapi.h does not compile on its own.
extern "C" HRESULT WINAPI WerSetFlags(DWORD flags);

namespace Quendal::Tool {

namespace {

// The exit status the stop asks for, 0 before any.
std::atomic<int> stop_status{0};

constexpr int kControlC = 128 + 2;  // as a shell reports SIGINT

// Written before the handler is installed, only read by it.
std::string notice_text;
// Set by the destructor: the run has done what it must. Made once and kept: a handler may still
// wait on it when the destructor has run.
HANDLE run_finished = nullptr;

// Windows ends the process once the handler returns from these, or a few seconds after the event
// at the latest; within that, the run may still close its sessions.
constexpr DWORD kEndingGrace = 4000;  // ms

// Runs in a thread of its own that the system starts for the event.
BOOL WINAPI OnControlEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT: {
            int none = 0;
            if (!stop_status.compare_exchange_strong(none, kControlC)) {
                // The second: the user wants out now, sessions or not. Ended as the default
                // handler would end it, without the exit steps that could wait on the run.
                TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
                return TRUE;
            }
            DWORD written = 0;
            WriteFile(GetStdHandle(STD_ERROR_HANDLE), notice_text.data(),
                      static_cast<DWORD>(notice_text.size()), &written, nullptr);
            if (event == CTRL_CLOSE_EVENT && run_finished != nullptr) {
                WaitForSingleObject(run_finished, kEndingGrace);
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

StopRequests::StopRequests(std::string_view notice) {
    notice_text.assign(notice);
    if (run_finished == nullptr) {
        run_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    } else {
        ResetEvent(run_finished);
    }
    stop_status = 0;
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

StopRequests::~StopRequests() {
    SetConsoleCtrlHandler(OnControlEvent, FALSE);
    if (run_finished != nullptr) {
        SetEvent(run_finished);
    }
}

bool StopRequested() {
    return stop_status.load() != 0;
}

int StopStatus() {
    const int status = stop_status.load();
    return status != 0 ? status : kControlC;
}

const char* StopName() {
    return "Ctrl-C";
}

// Sockets, WinHTTP's handles and the files the tool writes are handles, of which a process may
// hold millions. What is limited is the C runtime's stdio streams (512 unless raised, at most
// 8192), of which a scan holds one at most: a systems list being read.
FileBudget OpenFileBudget(std::size_t scans, unsigned int) {
    constexpr int kMostStreams = 8192;
    FileBudget budget;
    budget.per_scan = 1;
    budget.in_use = 3;  // the standard streams
    const std::size_t needed = budget.in_use + kFilesBesideScans + scans;
    int limit = _getmaxstdio();
    if (static_cast<std::size_t>(limit) < needed &&
        _setmaxstdio(static_cast<int>(std::min<std::size_t>(needed, kMostStreams))) != -1) {
        limit = _getmaxstdio();
    }
    budget.limit = static_cast<std::size_t>(limit);
    return budget;
}

// Windows has no per-process switch that keeps the user's other processes out (the process's
// own access list would, but its owner may change that back); what it has keeps a crash from
// writing the heap, and the password in it, to an error report.
void GuardSecrets() {
    constexpr DWORD kNoHeapInReports = 1;  // WER_FAULT_REPORTING_FLAG_NOHEAP
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    WerSetFlags(kNoHeapInReports);
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
