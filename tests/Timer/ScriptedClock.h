// The clock the timer tests link in place of the system clock: it hands out the times (or
// throws the errors) a test scripted, in order.
#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <exception>
#include <variant>
#include <vector>

namespace Quendal::Testing {

using ClockReading = std::variant<boost::posix_time::ptime, std::exception_ptr>;

// Replaces the script; every LocalTime() call takes the next reading.
void ScriptClock(std::vector<ClockReading> readings);
// Readings not taken yet.
std::size_t UnreadClockReadings();

}  // namespace Quendal::Testing
