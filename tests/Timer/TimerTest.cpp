// The timer, linked with a scripted clock in place of the system clock: each reading takes the
// next time (or throws the next error) the test scripted.
#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <deque>
#include <stdexcept>
#include <variant>

#include "Src/Utility/Timer/Timer.h"
#include "support/LogCapture.h"

namespace {

using boost::posix_time::time_from_string;
using Quendal::Testing::LevelAndText;
using Quendal::Testing::LogCapture;

std::deque<std::variant<boost::posix_time::ptime, std::exception_ptr>> script;

const auto kStart = time_from_string("2026-12-04 16:12:49");

TEST(Timer, LogsEntryElapsedWholeSecondsAndExitInOrder) {
    const struct {
        const char* end;
        const char* consumed;
        const char* leaving_at;
    } kCases[] = {
        {"2026-12-04 16:12:49", "0", "2026-12-04-16:12:49"},
        {"2026-12-04 16:12:50", "1", "2026-12-04-16:12:50"},
        {"2026-12-04 16:12:46", "-3", "2026-12-04-16:12:46"},       // clock set back
        {"2027-01-01 00:00:09", "2360840", "2027-01-01-00:00:09"},  // past midnight and new year
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(test.end);
        script = {kStart, time_from_string(test.end)};
        LogCapture capture(3);
        { Timer timer("SystemInfoScan::GetCMMSoftwareIdentity"); }
        EXPECT_EQ(
            capture.Lines(),
            (std::vector<LevelAndText>{
                {3, "Entering SystemInfoScan::GetCMMSoftwareIdentity at:2026-12-04-16:12:49\n"},
                {3, std::string("Time consumed:") + test.consumed + " second(s)\n"},
                {3, std::string("Leaving SystemInfoScan::GetCMMSoftwareIdentity at:") +
                        test.leaving_at + "\n"}}));
    }
}

TEST(Timer, ReadsTheClockButLogsNothingBelowLevelThree) {
    script = {kStart, kStart};
    LogCapture capture(2);
    { Timer timer("quiet"); }
    EXPECT_TRUE(capture.Records().empty());
    EXPECT_TRUE(script.empty());
}

// An operation left by an exception is closed all the same. A failed start leaves nothing to
// time; a failed end costs the closing lines, as a destructor may not throw.
TEST(Timer, ClosesAnOperationLeftByAnExceptionAndPassesOnlyAFailedStartOn) {
    const auto failure = std::make_exception_ptr(std::runtime_error("no local time"));
    script = {kStart, kStart, failure, kStart, failure};
    LogCapture capture(4);
    EXPECT_THROW(
        {
            Timer timer("failing");
            throw std::runtime_error("library failure");
        },
        std::runtime_error);
    EXPECT_THROW(Timer("unlucky"), std::runtime_error);
    EXPECT_NO_THROW({ Timer timer("brief"); });
    EXPECT_EQ(capture.Lines(),
              (std::vector<LevelAndText>{{3, "Entering failing at:2026-12-04-16:12:49\n"},
                                         {3, "Time consumed:0 second(s)\n"},
                                         {3, "Leaving failing at:2026-12-04-16:12:49\n"},
                                         {3, "Entering brief at:2026-12-04-16:12:49\n"}}));
}

}  // namespace

namespace Quendal::TimerClock {

boost::posix_time::ptime LocalTime() {
    if (script.empty()) {
        throw std::logic_error("the test read the clock more often than it scripted");
    }
    const auto reading = script.front();
    script.pop_front();
    if (const auto* error = std::get_if<std::exception_ptr>(&reading)) {
        std::rethrow_exception(*error);
    }
    return std::get<boost::posix_time::ptime>(reading);
}

}  // namespace Quendal::TimerClock
