// The in-house logger.
//
// A record is opened by constructing a Log, filled through Stream() and handed to the current
// sink when the Log is destroyed. Callers write one statement per message with TS_LOG, which
// asks the threshold afresh every time and composes nothing when the message is not due.
//
// Threshold: a record of level L is written when L <= GetMinLogLevel(); 0 silences everything.
// It starts from the environment variable TESMORA_LOG_LEVEL (a decimal number), or 1 (failures
// only) when that is unset or not a number.
//
// Threads: the threshold and the sink may be changed and read from any thread; a record is
// built by one thread and handed over whole. The default sink writes each record as one line
// to the standard error stream. Sinks must not throw; a Log's destructor swallows nothing else.
#pragma once

#include <memory>
#include <sstream>
#include <string>

#include "tesmora/Export.h"

namespace Tesmora {

struct LogRecord {
    unsigned int level = 0;
    std::string file;
    int line = 0;
    std::string text;
};

class TESMORA_API LogSink {
public:
    virtual ~LogSink();
    virtual void Write(const LogRecord& record) = 0;
};

class TESMORA_API Log {
public:
    static unsigned int GetMinLogLevel();
    static void SetMinLogLevel(unsigned int level);
    // Installs sink (nullptr restores the standard-error sink) and returns the previous one.
    static std::shared_ptr<LogSink> SetSink(std::shared_ptr<LogSink> sink);

    Log(unsigned int level, const char* file, int line);
    virtual ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    std::ostringstream& Stream();

private:
    unsigned int level_;
    const char* file_;
    int line_;
    std::ostringstream stream_;
};

// Installs a sink and a threshold for its own lifetime, then puts the previous ones back.
class TESMORA_API ScopedLogSink {
public:
    ScopedLogSink(std::shared_ptr<LogSink> sink, unsigned int level);
    ~ScopedLogSink();
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

private:
    std::shared_ptr<LogSink> previous_sink_;
    unsigned int previous_level_;
};

}  // namespace Tesmora

// One log statement: TS_LOG(3) << "text" << value; The Log lives until the end of the statement.
#define TS_LOG(level)                                 \
    if (::Tesmora::Log::GetMinLogLevel() < (level)) { \
    } else                                            \
        ::Tesmora::Log((level), __FILE__, __LINE__).Stream()
