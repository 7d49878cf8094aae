#pragma once
// The test clock beside Clock: it moves only when the code under test waits, so time limits of
// seconds pass in no real time.

#include "common/Clock.h"

namespace cvl {

class ManualClock : public Clock {
public:
    std::uint32_t nowMs() override { return static_cast<std::uint32_t>(micros / 1000); }
    std::uint64_t nowMicros() override { return micros; }
    void sleepMs(std::uint32_t ms) override { micros += std::uint64_t{ms} * 1000; }
    void pauseMicros(std::uint32_t us) override { micros += us; }
    std::optional<std::uint32_t> systemTimeMs() override {
        if (systemTimeFails) return std::nullopt;
        return nowMs();
    }

    LocalTime localTime() override { return local; }

    std::uint64_t micros = 1'000'000;
    LocalTime local{2026, 12, 7, 9, 30};  // not zero: a clock at 0 hides start-time mistakes
    bool systemTimeFails = false;
};

}  // namespace cvl
