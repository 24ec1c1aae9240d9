#include "tesmora/Log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace Tesmora {

namespace {

constexpr unsigned int kDefaultLevel = 1;

unsigned int LevelFromEnvironment() {
    const char* text = std::getenv("TESMORA_LOG_LEVEL");
    if (text == nullptr || *text == '\0') {
        return kDefaultLevel;
    }
    char* end = nullptr;
    const unsigned long level = std::strtoul(text, &end, 10);
    if (*end != '\0' || text[0] == '-') {
        return kDefaultLevel;
    }
    return static_cast<unsigned int>(level);
}

std::atomic<unsigned int>& Threshold() {
    static std::atomic<unsigned int> threshold{LevelFromEnvironment()};
    return threshold;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class StandardErrorSink : public LogSink {
public:
    void Write(const LogRecord& record) override {
        std::string text = record.text;
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        const std::string line = "[" + std::to_string(record.level) + "] " + BaseName(record.file) +
                                 ":" + std::to_string(record.line) + ": " + text + "\n";
        // One write per record keeps lines of concurrent callers apart.
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
};

struct SinkSlot {
    std::mutex mutex;
    std::shared_ptr<LogSink> sink = std::make_shared<StandardErrorSink>();
};

SinkSlot& SinkSlotOfProcess() {
    static SinkSlot slot;
    return slot;
}

}  // namespace

LogSink::~LogSink() = default;

unsigned int Log::GetMinLogLevel() {
    return Threshold().load(std::memory_order_relaxed);
}

void Log::SetMinLogLevel(unsigned int level) {
    Threshold().store(level, std::memory_order_relaxed);
}

std::shared_ptr<LogSink> Log::SetSink(std::shared_ptr<LogSink> sink) {
    if (!sink) {
        sink = std::make_shared<StandardErrorSink>();
    }
    SinkSlot& slot = SinkSlotOfProcess();
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.sink.swap(sink);
    return sink;
}

Log::Log(unsigned int level, const char* file, int line)
    : level_(level), file_(file == nullptr ? "" : file), line_(line) {}

Log::~Log() {
    std::shared_ptr<LogSink> sink;
    {
        SinkSlot& slot = SinkSlotOfProcess();
        std::lock_guard<std::mutex> lock(slot.mutex);
        sink = slot.sink;
    }
    sink->Write(LogRecord{level_, file_, line_, stream_.str()});
}

std::ostringstream& Log::Stream() {
    return stream_;
}

ScopedLogSink::ScopedLogSink(std::shared_ptr<LogSink> sink, unsigned int level)
    : previous_sink_(Log::SetSink(std::move(sink))), previous_level_(Log::GetMinLogLevel()) {
    Log::SetMinLogLevel(level);
}

ScopedLogSink::~ScopedLogSink() {
    Log::SetMinLogLevel(previous_level_);
    Log::SetSink(std::move(previous_sink_));
}

}  // namespace Tesmora
