#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "FleetSystem.h"

namespace Quendal::Tool {

namespace {

// The signal that asked to stop, 0 before any. Lock-free, so the handler may touch it.
std::atomic<int> stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kStopSignals[] = {SIGINT, SIGTERM};
struct sigaction previous[std::size(kStopSignals)];

// Written before the handlers are installed, only read by them.
char notice_text[512];
std::size_t notice_size = 0;

void OnStopSignal(int number) {
    int none = 0;
    if (!stop_signal.compare_exchange_strong(none, number)) {
        // The second: the user wants out now, sessions or not.
        signal(number, SIG_DFL);
        raise(number);
        return;
    }
    // write is safe in a handler; what it answers changes nothing.
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, notice_text, notice_size);
}

}  // namespace

StopRequests::StopRequests(std::string_view notice) {
    notice_size = std::min(notice.size(), sizeof notice_text);
    std::copy_n(notice.data(), notice_size, notice_text);
    stop_signal = 0;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Blocking calls in other threads (a poll in the transport, say) carry on rather than fail.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &action, &previous[i]);
    }
}

StopRequests::~StopRequests() {
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &previous[i], nullptr);
    }
}

bool StopRequested() {
    return stop_signal.load() != 0;
}

int StopStatus() {
    const int number = stop_signal.load();
    return 128 + (number != 0 ? number : SIGINT);
}

const char* StopName() {
    return stop_signal.load() == SIGTERM ? "SIGTERM" : "Ctrl-C";
}

namespace {

// Measured on a fleet against the test server: for the whole scan its connection and libcurl's
// wake-up socket pair (3); while the document is written, which happens before the session is
// closed, its temporary and the folder (2 more). Before the connection, a name lookup holds a
// socket pair and /etc/hosts, the TLS set-up the CA file: never more at once.
constexpr std::size_t kFilesPerScan = 5;

std::size_t OpenNow() {
    if (DIR* listing = opendir("/proc/self/fd")) {
        std::size_t entries = 0;
        while (const dirent* entry = readdir(listing)) {
            entries += entry->d_name[0] != '.' ? 1 : 0;
        }
        closedir(listing);
        return entries > 0 ? entries - 1 : 0;  // the listing's own
    }
    // Without /proc: asked one by one, as far as a limit of a usual size goes.
    std::size_t open = 0;
    for (int fd = 0; fd < 4096; ++fd) {
        open += fcntl(fd, F_GETFD) != -1 ? 1 : 0;
    }
    return open;
}

}  // namespace

FileBudget OpenFileBudget(std::size_t scans, unsigned int connections) {
    FileBudget budget;
    // Each further connection: its socket and its own wake-up socket pair.
    budget.per_scan = kFilesPerScan + 3 * (std::max(connections, 1u) - 1);
    budget.in_use = OpenNow();
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return budget;
    }
    const auto needed =
        static_cast<rlim_t>(budget.in_use + kFilesBesideScans + budget.per_scan * scans);
    if (limit.rlim_cur < needed && limit.rlim_max > limit.rlim_cur) {
        rlimit raised = limit;
        raised.rlim_cur = std::min(limit.rlim_max, needed);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    budget.limit = static_cast<std::size_t>(limit.rlim_cur);
    return budget;
}

void GuardSecrets() {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

std::optional<std::string> InlinePasswordsRefused(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return "its permissions cannot be read (" + std::generic_category().message(errno) + ")";
    }
    if ((info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return std::string("the file can be read by group or others (mode ") + mode +
               "): make it private (chmod go-rwx), or use password_env or password_file";
    }
    return std::nullopt;
}

}  // namespace Quendal::Tool
