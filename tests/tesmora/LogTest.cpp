#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

#include "support/LogCapture.h"

namespace {

using Quendal::Testing::LevelAndText;
using Quendal::Testing::LogCapture;

// Counts how often it is formatted, to see whether a statement composed anything.
struct Counted {
    int* count;
};
std::ostream& operator<<(std::ostream& out, const Counted& counted) {
    ++*counted.count;
    return out << "counted";
}

TEST(LogStatement, WritesOnlyMessagesAtOrBelowTheThreshold) {
    LogCapture capture(2);
    int formatted = 0;
    for (unsigned int level = 1; level <= 4; ++level) {
        TS_LOG(level) << "level " << level << ' ' << Counted{&formatted};
    }
    EXPECT_EQ(capture.Lines(),
              (std::vector<LevelAndText>{{1, "level 1 counted"}, {2, "level 2 counted"}}));
    EXPECT_EQ(formatted, 2);
}

TEST(LogStatement, ThresholdZeroSilencesEverything) {
    LogCapture capture(0);
    int formatted = 0;
    TS_LOG(1) << Counted{&formatted};
    EXPECT_TRUE(capture.Records().empty());
    EXPECT_EQ(formatted, 0);
}

TEST(LogStatement, AsksTheThresholdAfreshForEveryMessage) {
    LogCapture capture(4);
    TS_LOG(3) << "first";
    Tesmora::Log::SetMinLogLevel(2);
    TS_LOG(3) << "second";
    EXPECT_EQ(capture.Lines(), (std::vector<LevelAndText>{{3, "first"}}));
}

TEST(LogStatement, RecordsFileAndLine) {
    LogCapture capture(4);
    const int line = __LINE__ + 1;
    TS_LOG(4) << "here";
    ASSERT_EQ(capture.Records().size(), 1u);
    EXPECT_EQ(capture.Records()[0].line, line);
    EXPECT_EQ(capture.Records()[0].file, __FILE__);
}

TEST(LogStatement, GuardDoesNotCaptureAFollowingElse) {
    LogCapture capture(4);
    bool took_else = false;
    if (capture.Records().size() == 1)
        TS_LOG(1) << "never";
    else
        took_else = true;
    EXPECT_TRUE(took_else);
}

TEST(StandardErrorSink, WritesOneLineWithLevelFileLineAndText) {
    Tesmora::ScopedLogSink guard(nullptr, 4);
    ::testing::internal::CaptureStderr();
    Tesmora::Log(3, "/src/Src/Utility/Timer/Timer.cpp", 42).Stream()
        << "Time consumed:0" << std::endl;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[3] Timer.cpp:42: Time consumed:0\n");
}

// Run by CTest with TESMORA_LOG_LEVEL set (or unset) and the threshold it must give.
TEST(LogThreshold, StartsFromTheEnvironment) {
    const char* expected = std::getenv("QUENDAL_EXPECTED_LOG_LEVEL");
    if (expected == nullptr) {
        GTEST_SKIP() << "run through CTest with QUENDAL_EXPECTED_LOG_LEVEL set";
    }
    EXPECT_EQ(Tesmora::Log::GetMinLogLevel(), static_cast<unsigned int>(std::atoi(expected)));
}

}  // namespace
