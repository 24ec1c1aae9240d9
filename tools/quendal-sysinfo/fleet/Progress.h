// How far a fleet run is, told on the standard error stream while it runs.
//
// Contract. On a terminal (kBar) one line is redrawn in place ("\r", padded with blanks over the
// previous one) after each endpoint: how many are done of how many, how many failed, the rate
// and the time left at that rate. Elsewhere (kLines: a log, a pipe) each finished endpoint gets
// one plain line of its own, so that logs stay readable. kQuiet says nothing. Endpoints skipped
// because their document is already there count as done from the start, but not towards the
// rate. Texts from endpoints (causes) pass VisibleControls in every mode: a log is read on a
// screen too.
//
// Threads: every member may be called from any thread; lines never interleave.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>

namespace Quendal::Tool {

class Progress {
public:
    enum class Mode { kBar, kLines, kQuiet };
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    Progress(
        std::ostream& out, Mode mode, std::size_t total, std::size_t already_done,
        Clock clock = [] { return std::chrono::steady_clock::now(); });

    // One endpoint finished: label names it, status is its outcome (Summary.h: "ok", "failed",
    // "cancelled", ...), cause says why it did not succeed (empty when it did). Failed and
    // cancelled are counted apart, as the summary counts them.
    void Finished(const std::string& label, const std::string& status, const std::string& cause,
                  double seconds);

    // A line of its own that the bar must not overwrite (the notice that the run is stopping).
    void Say(const std::string& line);

    // Ends the bar's line, so that what follows starts on a fresh one.
    void End();

    // The bar's text: "12/200 done, 1 failed, 8.5/s, 0:22 left", with "-" for the rate and the
    // time left before anything finished in this run, and ", 2 cancelled" after the failed ones
    // once a stop cancelled any.
    static std::string Status(std::size_t done, std::size_t total, std::size_t failed,
                              std::size_t cancelled, std::size_t finished_here,
                              std::chrono::duration<double> elapsed);

private:
    void Draw();

    std::ostream& out_;
    Mode mode_;
    std::size_t total_;
    std::size_t done_;
    std::size_t failed_ = 0;
    std::size_t cancelled_ = 0;
    std::size_t finished_here_ = 0;
    Clock clock_;
    std::chrono::steady_clock::time_point started_;
    std::size_t drawn_ = 0;  // length of the bar line on screen
    std::mutex mutex_;
};

}  // namespace Quendal::Tool
