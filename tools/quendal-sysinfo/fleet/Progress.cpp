#include "Progress.h"

#include <cstdio>

#include "Summary.h"
#include "Terminal.h"

namespace Quendal::Tool {

namespace {

constexpr const char* kPrefix = "quendal-sysinfo: fleet: ";
constexpr std::size_t kBarWidth = 20;

std::string Duration(double seconds) {
    const auto whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

std::string Fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace

Progress::Progress(std::ostream& out, Mode mode, std::size_t total, std::size_t already_done,
                   Clock clock)
    : out_(out),
      mode_(mode),
      total_(total),
      done_(already_done),
      clock_(std::move(clock)),
      started_(clock_()) {
    std::lock_guard<std::mutex> lock(mutex_);
    Draw();
}

std::string Progress::Status(std::size_t done, std::size_t total, std::size_t failed,
                             std::size_t cancelled, std::size_t finished_here,
                             std::chrono::duration<double> elapsed) {
    std::string text = std::to_string(done) + "/" + std::to_string(total) + " done, " +
                       std::to_string(failed) + " failed, ";
    if (cancelled > 0) {
        text += std::to_string(cancelled) + " cancelled, ";
    }
    if (finished_here == 0 || elapsed.count() <= 0) {
        return text + "- /s, - left";
    }
    const double rate = static_cast<double>(finished_here) / elapsed.count();
    return text + Fixed(rate) + "/s, " + Duration(static_cast<double>(total - done) / rate) +
           " left";
}

void Progress::Draw() {
    if (mode_ != Mode::kBar) {
        return;
    }
    const std::size_t filled = total_ == 0 ? kBarWidth : kBarWidth * done_ / total_;
    std::string line =
        std::string(kPrefix) + "[" + std::string(filled, '#') +
        std::string(kBarWidth - filled, ' ') + "] " +
        Status(done_, total_, failed_, cancelled_, finished_here_, clock_() - started_);
    const std::size_t length = line.size();
    if (length < drawn_) {
        line += std::string(drawn_ - length, ' ');
    }
    drawn_ = length;
    out_ << '\r' << line << std::flush;
}

void Progress::Finished(const std::string& label, const std::string& status,
                        const std::string& cause, double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    ++finished_here_;
    failed_ += status == kStatusFailed ? 1 : 0;
    cancelled_ += status == kStatusCancelled ? 1 : 0;
    if (mode_ == Mode::kLines) {
        out_ << kPrefix << done_ << "/" << total_ << " " << label << ": " << status << ", "
             << Fixed(seconds) << " s"
             << (cause.empty() ? "" : ": " + VisibleControls(cause, LineEnds::kEscaped)) << '\n'
             << std::flush;
    }
    Draw();
}

void Progress::Say(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ == Mode::kBar) {
        out_ << '\r' << VisibleControls(line)
             << std::string(line.size() < drawn_ ? drawn_ - line.size() : 0, ' ') << '\n';
        drawn_ = 0;
        Draw();
        return;
    }
    out_ << line << '\n' << std::flush;
}

void Progress::End() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ == Mode::kBar && drawn_ > 0) {
        out_ << '\n' << std::flush;
        drawn_ = 0;
    }
}

}  // namespace Quendal::Tool
