#pragma once
// The machine and its time.

#include <ctime>
#include <string>

namespace cvl {

std::string hostName();
// The calendar time of t, in UTC or local time; false when it cannot be had.
bool utcTime(std::time_t t, std::tm& out);
bool localTime(std::time_t t, std::tm& out);
// Whether standard output is a terminal (a progress bar may be drawn).
bool stdoutIsTerminal();

// Sleeps and timers on time while it lives: link waits are a few hundred
// microseconds and limits 10 ms, so the system's default batching of
// wake-ups (Linux timer slack of 50 us, Windows' 15.6 ms timer) would be a
// visible share of them.
class PreciseTimers {
public:
    PreciseTimers();
    ~PreciseTimers();
    PreciseTimers(const PreciseTimers&) = delete;
    PreciseTimers& operator=(const PreciseTimers&) = delete;
};

}  // namespace cvl
