// What the tool's runs need of the platform: the user's request to stop (a fleet run and the
// single-target scans alike), the limit on open files, the guard of a process holding a
// password, and whether a file may hold one.
// One implementation per platform (linux/, windows/).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace Quendal::Tool {

// While one lives, the first Ctrl-C (SIGINT; on Windows also Ctrl-Break and closing the console)
// or SIGTERM only asks the run to stop: StopRequested turns true, notice (if any) is written to
// the standard error stream at once, and the run finishes what it must (log-outs, the summary).
// A second one ends the process at once, as the signal would have. The destructor puts the
// previous handling back. One at a time. Windows ends a process whose console is closed soon
// after it was told: the handler holds that event back until the destructor runs, for at most
// a few seconds, so that the log-outs may go out.
class StopRequests {
public:
    explicit StopRequests(std::string_view notice = {});
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;
};

// Safe from any thread; false when no StopRequests lives.
bool StopRequested();

// The exit status that tells the caller why the run stopped: 128 plus the signal's number (130
// after Ctrl-C, 143 after SIGTERM).
int StopStatus();

// What asked the run to stop, for messages: "Ctrl-C" or "SIGTERM".
const char* StopName();

// How many files the process may hold open, for a fleet's workers: on Linux descriptors
// (RLIMIT_NOFILE), which sockets take as well; on Windows only the C runtime's stdio streams
// (_getmaxstdio) are limited that a fleet could reach, sockets and files being handles.
struct FileBudget {
    std::size_t limit = 0;     // 0: none that a fleet reaches
    std::size_t in_use = 0;    // open now
    std::size_t per_scan = 0;  // the most one scan holds at once
};

// What the process itself may open besides its scans while they run: the summary and its
// temporary, a configuration file a name lookup reads, and spare.
inline constexpr std::size_t kFilesBesideScans = 8;

// The budget for that many scans at once, each with up to connections to its endpoint, the limit
// raised first as far as they need where the platform allows it (Linux: the soft limit up to the
// hard one). Never throws.
FileBudget OpenFileBudget(std::size_t scans, unsigned int connections);

// From now on the process holds a password: it may not be dumped. Linux: no core file
// (RLIMIT_CORE 0) and not dumpable (PR_SET_DUMPABLE 0), so that no other process of the user may
// attach to it or read its memory, and /proc shows it as root's. Windows: no error report dialog
// and no heap in an error report; a process of the same user may still read its memory there.
// Lasts until the process ends; calling it again changes nothing. Never throws.
void GuardSecrets();

// Why the file at path must not hold a password (it can be read by others; or, on Windows,
// whose file permissions the tool does not judge, always), or nullopt when it may.
std::optional<std::string> InlinePasswordsRefused(const std::string& path);

}  // namespace Quendal::Tool
