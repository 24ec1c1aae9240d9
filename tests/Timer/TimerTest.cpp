#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <stdexcept>

#include "Src/Utility/Timer/Timer.h"
#include "Timer/ScriptedClock.h"
#include "support/LogCapture.h"

namespace {

using boost::posix_time::time_from_string;
using Quendal::Testing::LevelAndText;
using Quendal::Testing::LogCapture;
using Quendal::Testing::ScriptClock;

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
        ScriptClock({kStart, time_from_string(test.end)});
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
    ScriptClock({kStart, kStart});
    LogCapture capture(2);
    { Timer timer("quiet"); }
    EXPECT_TRUE(capture.Records().empty());
    EXPECT_EQ(Quendal::Testing::UnreadClockReadings(), 0u);
}

TEST(Timer, ClosingMessagesFollowAnOperationLeftByAnException) {
    ScriptClock({kStart, kStart});
    LogCapture capture(3);
    try {
        Timer timer("failing");
        TS_LOG(3) << "work";
        throw std::runtime_error("library failure");
    } catch (const std::runtime_error&) {
    }
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].second, "work");
    EXPECT_EQ(lines[3].second, "Leaving failing at:2026-12-04-16:12:49\n");
}

// A failed start leaves nothing to time; a failed end may not throw out of a destructor.
TEST(Timer, ClockFailurePassesOutOfTheConstructorButNotOutOfTheDestructor) {
    LogCapture capture(4);
    ScriptClock({std::make_exception_ptr(std::runtime_error("no local time"))});
    EXPECT_THROW(Timer("unlucky"), std::runtime_error);
    EXPECT_TRUE(capture.Records().empty());

    ScriptClock({kStart, std::make_exception_ptr(std::runtime_error("clock gone"))});
    EXPECT_NO_THROW({ Timer timer("brief"); });
    EXPECT_EQ(capture.Lines(),
              (std::vector<LevelAndText>{{3, "Entering brief at:2026-12-04-16:12:49\n"}}));
}

}  // namespace
