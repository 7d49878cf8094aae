#pragma once
// Time as the pod link and the long commands see it. Injected so that tests of
// 10-second limits run in milliseconds.

#include <cstdint>
#include <optional>
#include <string>

namespace cvl {

// A moment of local time, to the minute.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Millisecond counter for time limits; wraps at 32 bits.
    virtual std::uint32_t nowMs() = 0;
    // Microsecond counter for modelled line times and traces.
    virtual std::uint64_t nowMicros() = 0;
    virtual void sleepMs(std::uint32_t ms) = 0;
    // A short pause while waiting for the transmit queue to drain.
    virtual void pauseMicros(std::uint32_t us) = 0;
    // System time in milliseconds for elapsed-time texts; empty when unreadable.
    virtual std::optional<std::uint32_t> systemTimeMs() = 0;
    // The local date and time, for the tag of a stored job.
    virtual LocalTime localTime() = 0;
};

// The real monotonic clock.
class SteadyClock : public Clock {
public:
    std::uint32_t nowMs() override;
    std::uint64_t nowMicros() override;
    void sleepMs(std::uint32_t ms) override;
    void pauseMicros(std::uint32_t us) override;
    std::optional<std::uint32_t> systemTimeMs() override;
    LocalTime localTime() override;
};

// Now, UTC, as ISO 8601 ("2026-12-07T09:30:00Z"), for records that other
// machines read.
std::string utcTimestamp();

}  // namespace cvl
