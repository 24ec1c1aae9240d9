#include <boost/date_time/posix_time/posix_time.hpp>

#include "Src/Utility/Timer/Timer.h"

namespace Quendal::TimerClock {

// second_clock converts through the reentrant localtime_r (POSIX) or the thread-local
// localtime of the Windows runtime, so concurrent timers do not race on a shared buffer.
boost::posix_time::ptime LocalTime() {
    return boost::posix_time::second_clock::local_time();
}

}  // namespace Quendal::TimerClock
