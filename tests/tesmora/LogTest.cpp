#include <gtest/gtest.h>

#include <cstdlib>

#include "support/LogCapture.h"

namespace {

using namespace Quendal::Testing;

TEST(LogStatement, ComposesOnlyMessagesAtOrBelowTheThresholdAndLeavesElseAlone) {
    LogCapture capture(2);
    int formatted = 0;
    for (unsigned int level = 1; level <= 4; ++level) {
        TS_LOG(level) << "level " << level << " #" << ++formatted;
    }
    EXPECT_EQ(capture.Lines(), (std::vector<LevelAndText>{{1, "level 1 #1"}, {2, "level 2 #2"}}));
    EXPECT_EQ(formatted, 2);

    bool took_else = false;
    if (formatted == 0)
        TS_LOG(1) << "never";
    else
        took_else = true;
    EXPECT_TRUE(took_else);
}

TEST(LogStatement, AsksTheThresholdAfreshAndRecordsFileAndLine) {
    LogCapture capture(4);
    const int line = __LINE__ + 1;
    TS_LOG(3) << "first";
    Tesmora::Log::SetMinLogLevel(2);
    TS_LOG(3) << "second";
    ASSERT_EQ(capture.Lines(), (std::vector<LevelAndText>{{3, "first"}}));
    EXPECT_EQ(capture.Records()[0].line, line);
    EXPECT_EQ(capture.Records()[0].file, __FILE__);
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
