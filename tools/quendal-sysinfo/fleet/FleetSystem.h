// What a fleet run needs of the platform: the user's request to stop, and whether a file may hold
// a password. One implementation per platform (linux/, windows/).
#pragma once

#include <optional>
#include <string>

namespace Quendal::Tool {

// While one lives, the first Ctrl-C (SIGINT; on Windows also Ctrl-Break and closing the console)
// or SIGTERM only asks the run to stop: StopRequested turns true, and the run finishes what it
// must (log-outs, the summary). A second one ends the process at once, as the signal would
// have. The destructor puts the previous handling back. One at a time.
class StopRequests {
public:
    StopRequests();
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;
};

// Safe from any thread; false when no StopRequests lives.
bool StopRequested();

// The exit status that tells the caller why the run stopped: 128 plus the signal's number (130
// after Ctrl-C, 143 after SIGTERM).
int StopStatus();

// Why the file at path must not hold a password (it can be read by others; or, on Windows,
// whose file permissions the tool does not judge, always), or nullopt when it may.
std::optional<std::string> InlinePasswordsRefused(const std::string& path);

}  // namespace Quendal::Tool
