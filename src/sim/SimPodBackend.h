#pragma once
// The in-process pod: a backend whose one openable device is a PodEmulator,
// on an injected clock. Reads that find nothing wait on that clock up to the
// port's read time-out, so a ManualClock makes 10-second limits pass
// instantly. Optional extra devices with other descriptions are listed but
// cannot be opened. Every call is logged for order checks.

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "pod/PodPort.h"
#include "sim/PodEmulator.h"

namespace cvl::sim {

class SimPodBackend : public PodBackend {
public:
    static constexpr const char* kBackendName = "emulator";

    SimPodBackend(PodEmulator& pod, Clock& clock) : pod_(pod), clock_(clock) {}

    // Devices listed before the pod, by description, in order.
    std::vector<std::string> otherDevices;
    // The latency timer the device reports before it is set.
    std::uint8_t latencyTimer = 16;
    // Names of port operations ("setBaudRate", "write", ...) made to fail.
    std::set<std::string> failing;
    // "setBaudRate(921600)" and so on, in call order.
    std::vector<std::string> calls;
    bool isOpen() const { return open_; }

    std::vector<PodInfo> enumerate() override;
    std::unique_ptr<PodPort> open(const PodInfo& pod) override;

private:
    class Port;
    // Logs the call; false when it is made to fail or the pod is gone.
    bool call(const std::string& entry);

    PodEmulator& pod_;
    Clock& clock_;
    bool open_ = false;
    std::uint32_t readTimeoutMs_ = 0;
};

}  // namespace cvl::sim
