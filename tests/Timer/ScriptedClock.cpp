#include "Timer/ScriptedClock.h"

#include <deque>
#include <stdexcept>

#include "Src/Utility/Timer/Timer.h"

namespace Quendal::Testing {

namespace {
std::deque<ClockReading>& Script() {
    static std::deque<ClockReading> script;
    return script;
}
}  // namespace

void ScriptClock(std::vector<ClockReading> readings) {
    Script().assign(readings.begin(), readings.end());
}

std::size_t UnreadClockReadings() {
    return Script().size();
}

}  // namespace Quendal::Testing

namespace Quendal::TimerClock {

boost::posix_time::ptime LocalTime() {
    auto& script = Testing::Script();
    if (script.empty()) {
        throw std::logic_error("the test read the clock more often than it scripted");
    }
    const Testing::ClockReading reading = script.front();
    script.pop_front();
    if (const auto* error = std::get_if<std::exception_ptr>(&reading)) {
        std::rethrow_exception(*error);
    }
    return std::get<boost::posix_time::ptime>(reading);
}

}  // namespace Quendal::TimerClock
