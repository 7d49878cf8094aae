#include "sim/SimPodBackend.h"

#include <algorithm>

namespace cvl::sim {

bool SimPodBackend::call(const std::string& entry) {
    calls.push_back(entry);
    if (failing.count(entry.substr(0, entry.find('(')))) return false;
    return open_ && !pod_.unplugged();
}

class SimPodBackend::Port : public PodPort {
public:
    explicit Port(SimPodBackend& owner) : b_(owner) {}
    ~Port() override { close(); }

    bool resetDevice() override { return b_.call("resetDevice"); }
    std::optional<std::uint8_t> latencyTimer() override {
        if (!b_.call("latencyTimer")) return std::nullopt;
        return b_.latencyTimer;
    }
    bool setLatencyTimer(std::uint8_t ms) override {
        if (!b_.call("setLatencyTimer(" + std::to_string(ms) + ")")) return false;
        b_.latencyTimer = ms;
        return true;
    }
    bool setBaudRate(std::uint32_t baud) override { return b_.call("setBaudRate(" + std::to_string(baud) + ")"); }
    bool setLineFormat8N1() override { return b_.call("setLineFormat8N1"); }
    bool disableFlowControl() override { return b_.call("disableFlowControl"); }
    bool setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        if (!b_.call("setTimeouts(" + std::to_string(readMs) + "," + std::to_string(writeMs) + ")")) return false;
        b_.readTimeoutMs_ = readMs;
        return true;
    }
    bool purge(bool receive, bool transmit) override {
        const std::string which = receive && transmit ? "rx,tx" : receive ? "rx" : transmit ? "tx" : "";
        if (!b_.call("purge(" + which + ")")) return false;
        if (receive) b_.pod_.purgeReceived(b_.clock_.nowMicros());
        return true;
    }
    std::optional<std::uint32_t> write(const std::uint8_t* bytes, std::uint32_t size) override {
        if (!b_.call("write")) return std::nullopt;
        b_.pod_.receive(bytes, size, b_.clock_.nowMicros());
        if (b_.pod_.unplugged()) return std::nullopt;
        return size;
    }
    std::optional<std::uint32_t> read(std::uint8_t* into, std::uint32_t limit) override {
        if (!b_.open_ || b_.pod_.unplugged() || b_.failing.count("read")) return std::nullopt;
        const std::uint64_t deadline = b_.clock_.nowMicros() + std::uint64_t{b_.readTimeoutMs_} * 1000;
        std::uint32_t got = 0;
        for (;;) {
            const std::uint64_t now = b_.clock_.nowMicros();
            got += static_cast<std::uint32_t>(b_.pod_.take(into + got, limit - got, now));
            if (got == limit || now >= deadline) return got;
            const std::uint64_t next = b_.pod_.nextReadyUs();
            const std::uint64_t until = next != 0 ? std::min(next, deadline) : deadline;
            b_.clock_.pauseMicros(static_cast<std::uint32_t>(std::max<std::uint64_t>(until - now, 1)));
        }
    }
    std::optional<QueueCounts> queueCounts() override {
        if (!b_.call("queueCounts")) return std::nullopt;
        const std::uint64_t now = b_.clock_.nowMicros();
        return QueueCounts{b_.pod_.available(now), b_.pod_.inboundPending(now)};
    }
    std::optional<std::uint32_t> receivedCount() override {
        if (!b_.call("receivedCount")) return std::nullopt;
        return b_.pod_.available(b_.clock_.nowMicros());
    }
    void close() override {
        if (closed_) return;
        closed_ = true;
        b_.calls.push_back("close");
        b_.open_ = false;
    }

private:
    SimPodBackend& b_;
    bool closed_ = false;
};

std::vector<PodInfo> SimPodBackend::enumerate() {
    calls.push_back("enumerate");
    std::vector<PodInfo> all;
    if (failing.count("enumerate")) return all;
    for (std::size_t i = 0; i < otherDevices.size(); ++i) {
        all.push_back({otherDevices[i], "OTHER" + std::to_string(i), "sim:other" + std::to_string(i), kBackendName});
    }
    if (!pod_.unplugged()) {
        all.push_back({pod_.options().description, pod_.options().serialNumber, "sim:pod", kBackendName});
    }
    return all;
}

std::unique_ptr<PodPort> SimPodBackend::open(const PodInfo& pod) {
    calls.push_back("open(" + pod.description + ")");
    if (failing.count("open") || open_ || pod_.unplugged()) return nullptr;
    if (pod.devicePath != "sim:pod" || pod.description != pod_.options().description) return nullptr;
    open_ = true;
    return std::make_unique<Port>(*this);
}

}  // namespace cvl::sim
