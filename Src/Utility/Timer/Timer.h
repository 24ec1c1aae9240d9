// Scope guard that logs when a named operation starts, how many whole seconds it took and when
// it ended, at level 3:
//
//   Entering NAME at:2026-12-04-16:12:49
//   Time consumed:0 second(s)
//   Leaving NAME at:2026-12-04-16:12:49
//
// Create it as the first local of the operation. The clock is read on construction and on
// destruction whatever the log threshold; only the texts are skipped when level 3 is not due.
//
// Construction throws what reading the clock throws (std::runtime_error when the calendar time
// cannot be converted to local time, or Boost's date range errors). The destructor throws
// nothing: when the end time cannot be read it skips its two messages.
//
// Each timer belongs to one call and shares nothing with other calls.
#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <string>

class Timer {
public:
    explicit Timer(const std::string& name);
    virtual ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

private:
    boost::posix_time::ptime start_;
    boost::posix_time::ptime end_;
    std::string name_;
};

namespace Quendal::TimerClock {

// The current local wall-clock time in whole seconds. Defined in TimerClock.cpp, which reads
// the system clock; a test program links a clock of its own in its place.
boost::posix_time::ptime LocalTime();

// "2026-12-04-16:12:49": the date in ISO extended form, a hyphen, the time of day.
std::string Timestamp(const boost::posix_time::ptime& time);

}  // namespace Quendal::TimerClock
