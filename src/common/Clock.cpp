#include "common/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/Host.h"

namespace cvl {

std::uint32_t SteadyClock::nowMs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::uint64_t SteadyClock::nowMicros() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

void SteadyClock::sleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void SteadyClock::pauseMicros(std::uint32_t us) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }

std::optional<std::uint32_t> SteadyClock::systemTimeMs() { return nowMs(); }

LocalTime SteadyClock::localTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!cvl::localTime(now, local)) return {};
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

std::string utcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    utcTime(now, utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

}  // namespace cvl
