#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <stdexcept>

#include "Src/Utility/Timer/Timer.h"
#include "Timer/ScriptedClock.h"
#include "support/LogCapture.h"

namespace {

using boost::posix_time::ptime;
using boost::posix_time::time_from_string;
using Quendal::Testing::LevelAndText;
using Quendal::Testing::LogCapture;
using Quendal::Testing::ScriptClock;
using Quendal::Testing::UnreadClockReadings;

struct ElapsedCase {
    const char* name;
    const char* start;
    const char* end;
    const char* consumed;
    const char* leaving_at;
};

void PrintTo(const ElapsedCase& c, std::ostream* os) {
    *os << c.name;
}

class TimerElapsedTest : public ::testing::TestWithParam<ElapsedCase> {};

TEST_P(TimerElapsedTest, LogsEntryElapsedSecondsAndExitInOrder) {
    const ElapsedCase& c = GetParam();
    ScriptClock({time_from_string(c.start), time_from_string(c.end)});
    LogCapture capture(3);
    { Timer timer("SystemInfoScan::GetCMMSoftwareIdentity"); }

    EXPECT_EQ(capture.Lines(),
              (std::vector<LevelAndText>{
                  {3, "Entering SystemInfoScan::GetCMMSoftwareIdentity at:2026-12-04-16:12:49\n"},
                  {3, std::string("Time consumed:") + c.consumed + " second(s)\n"},
                  {3, std::string("Leaving SystemInfoScan::GetCMMSoftwareIdentity at:") +
                          c.leaving_at + "\n"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, TimerElapsedTest,
    ::testing::Values(ElapsedCase{"SameSecond", "2026-12-04 16:12:49", "2026-12-04 16:12:49", "0",
                                  "2026-12-04-16:12:49"},
                      ElapsedCase{"NextSecond", "2026-12-04 16:12:49", "2026-12-04 16:12:50", "1",
                                  "2026-12-04-16:12:50"},
                      ElapsedCase{"ClockSetBack", "2026-12-04 16:12:49", "2026-12-04 16:12:46",
                                  "-3", "2026-12-04-16:12:46"},
                      ElapsedCase{"OverMidnightAndYear", "2026-12-04 16:12:49",
                                  "2027-01-01 00:00:09", "2360840", "2027-01-01-00:00:09"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Timer, ReadsTheClockButLogsNothingBelowLevelThree) {
    ScriptClock({time_from_string("2026-12-04 16:12:49"), time_from_string("2026-12-04 16:12:50")});
    LogCapture capture(2);
    { Timer timer("quiet"); }
    EXPECT_TRUE(capture.Records().empty());
    EXPECT_EQ(UnreadClockReadings(), 0u);
}

TEST(Timer, ClosingMessagesFollowAnOperationLeftByAnException) {
    ScriptClock({time_from_string("2026-12-04 16:12:49"), time_from_string("2026-12-04 16:12:49")});
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
    EXPECT_EQ(lines[2].second, "Time consumed:0 second(s)\n");
    EXPECT_EQ(lines[3].second, "Leaving failing at:2026-12-04-16:12:49\n");
}

TEST(Timer, ConstructionPassesOnAClockFailure) {
    ScriptClock({std::make_exception_ptr(
        std::runtime_error("could not convert calendar time to local time"))});
    LogCapture capture(4);
    try {
        Timer timer("unlucky");
        FAIL() << "the clock failure did not leave the constructor";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "could not convert calendar time to local time");
    }
    EXPECT_TRUE(capture.Records().empty());
}

TEST(Timer, DestructionSwallowsAClockFailureAndSkipsItsMessages) {
    ScriptClock({time_from_string("2026-01-05 03:04:05"),
                 std::make_exception_ptr(std::runtime_error("clock gone"))});
    LogCapture capture(3);
    EXPECT_NO_THROW({ Timer timer("brief"); });
    EXPECT_EQ(capture.Lines(),
              (std::vector<LevelAndText>{{3, "Entering brief at:2026-01-05-03:04:05\n"}}));
}

}  // namespace
