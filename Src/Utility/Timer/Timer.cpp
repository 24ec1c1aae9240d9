#include "Src/Utility/Timer/Timer.h"

#include <boost/date_time/gregorian/gregorian.hpp>
#include <boost/date_time/posix_time/posix_time.hpp>
#include <ostream>

#include "tesmora/Log.h"

using Quendal::TimerClock::LocalTime;
using Quendal::TimerClock::Timestamp;

Timer::Timer(const std::string& name)
    : start_(boost::posix_time::not_a_date_time),
      end_(boost::posix_time::not_a_date_time),
      name_(name) {
    start_ = LocalTime();
    TS_LOG(3) << "Entering " << name_ << " at:" << Timestamp(start_) << std::endl;
}

Timer::~Timer() {
    try {
        end_ = LocalTime();
        const long long seconds = (end_ - start_).total_seconds();
        TS_LOG(3) << "Time consumed:" << seconds << " second(s)" << std::endl;
        TS_LOG(3) << "Leaving " << name_ << " at:" << Timestamp(end_) << std::endl;
    } catch (...) {
        // A destructor that throws would end the process during unwinding; the two closing
        // messages are not worth that.
    }
}

namespace Quendal::TimerClock {

std::string Timestamp(const boost::posix_time::ptime& time) {
    return boost::gregorian::to_iso_extended_string(time.date()) + "-" +
           boost::posix_time::to_simple_string(time.time_of_day());
}

}  // namespace Quendal::TimerClock
