// Records what is logged while a test runs.
//
// LogCapture installs a sink and a threshold for its own lifetime and keeps every record.
// MockLogSink lets a test put log records into one GoogleMock sequence with library calls.
#pragma once

#include <gmock/gmock.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tesmora/Log.h"

namespace Quendal::Testing {

using LevelAndText = std::pair<unsigned int, std::string>;

class LogCapture {
public:
    explicit LogCapture(unsigned int level = 4) : guard_(sink_, level) {}

    std::vector<Tesmora::LogRecord> Records() const {
        std::lock_guard<std::mutex> lock(sink_->mutex);
        return sink_->records;
    }

    // (level, text) of every record, in order.
    std::vector<LevelAndText> Lines() const {
        std::vector<LevelAndText> lines;
        for (const auto& record : Records()) {
            lines.emplace_back(record.level, record.text);
        }
        return lines;
    }

private:
    struct Sink : Tesmora::LogSink {
        void Write(const Tesmora::LogRecord& record) override {
            std::lock_guard<std::mutex> lock(mutex);
            records.push_back(record);
        }
        std::mutex mutex;
        std::vector<Tesmora::LogRecord> records;
    };
    std::shared_ptr<Sink> sink_ = std::make_shared<Sink>();
    Tesmora::ScopedLogSink guard_;
};

class MockLogSink : public Tesmora::LogSink {
public:
    void Write(const Tesmora::LogRecord& record) override { Logged(record.level, record.text); }
    MOCK_METHOD(void, Logged, (unsigned int level, const std::string& text));
};

// Installs a strict MockLogSink for the guard's lifetime.
struct InstalledLogMock {
    explicit InstalledLogMock(unsigned int level = 4) : guard(sink, level) {}
    std::shared_ptr<::testing::StrictMock<MockLogSink>> sink =
        std::make_shared<::testing::StrictMock<MockLogSink>>();
    Tesmora::ScopedLogSink guard;
};

}  // namespace Quendal::Testing
