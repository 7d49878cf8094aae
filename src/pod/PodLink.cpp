#include "pod/PodLink.h"

#include <algorithm>

#include "pod/PodChoice.h"

namespace cvl {

namespace {
constexpr std::uint32_t kBaudRate = 921600;
constexpr std::uint32_t kDeviceTimeoutMs = 200;
constexpr std::uint32_t kHandshakeLimitMs = 200;
constexpr std::uint32_t kAfterFirstByteLimitMs = 100;
// 10 bits a byte at the line rate, in nanoseconds: how long the transmit
// queue needs to drain, used to pace the polling instead of spinning.
constexpr std::uint32_t kNanosPerByte = 10851;
constexpr std::uint32_t kMaxPauseMicros = 20000;
// A device that keeps reporting queued bytes while every read comes back
// empty would hold a read open forever; past its limit by this much it fails.
constexpr std::uint32_t kStuckQueueGraceMs = 1000;
}  // namespace

PodLink::PodLink(BackendLoader loader, Clock& clock) : loader_(std::move(loader)), clock_(clock) {}

PodLink::~PodLink() {
    closePod();
    unloadDriver();
}

bool PodLink::loadDriver() {
    if (!backend_ && loader_) backend_ = loader_();
    return backend_ != nullptr;
}

void PodLink::unloadDriver() {
    closePod();
    pod_.reset();
    backend_.reset();
}

std::vector<PodInfo> PodLink::listPods() {
    std::vector<PodInfo> pods;
    if (!backend_) return pods;
    for (PodInfo& device : backend_->enumerate()) {
        if (device.description == kPodDescription) pods.push_back(std::move(device));
    }
    return pods;
}

bool PodLink::findPod() {
    if (!backend_) {
        pod_.reset();
        return false;
    }
    if (pod_) return true;
    for (PodInfo& device : backend_->enumerate()) {
        if (device.description == kPodDescription && (!accept_ || accept_(device))) {
            pod_ = std::move(device);
            return true;
        }
    }
    return false;
}

OutcomeCode PodLink::openPod() {
    if (podConnected_) return OutcomeCode::Ok;
    if (!backend_ || !pod_) return OutcomeCode::PortFailed;
    port_ = backend_->open(*pod_);
    openFailure_ = port_ ? "" : backend_->openFailure();
    if (!port_) return OutcomeCode::PortFailed;
    PodPort& p = *port_;
    const auto latency = [&] {
        const auto ms = p.latencyTimer();
        return ms && (*ms == 1 || p.setLatencyTimer(1));
    };
    const bool configured = p.resetDevice() && latency() && p.setBaudRate(kBaudRate) && p.setLineFormat8N1() &&
                            p.disableFlowControl() && p.setTimeouts(kDeviceTimeoutMs, kDeviceTimeoutMs) &&
                            p.purge(true, true);
    if (!configured) {
        port_->close();
        port_.reset();
        return OutcomeCode::PortFailed;
    }
    if (!transact(Frame('I'), 1, kHandshakeLimitMs)) {
        port_->close();
        port_.reset();
        return OutcomeCode::PodInitFailed;
    }
    podConnected_ = true;
    return OutcomeCode::Ok;
}

void PodLink::closePod() {
    podConnected_ = false;
    if (port_) {
        port_->purge(true, true);
        port_->close();
        port_.reset();
    }
}

void PodLink::purgePod() {
    if (port_) port_->purge(true, true);
}

std::optional<std::uint32_t> PodLink::receiveQueueCount() {
    if (!port_) return std::nullopt;
    return port_->receivedCount();
}

bool PodLink::timedWrite(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t limitMs) {
    if (!port_) return false;
    if (observer_ != nullptr) observer_->sending();
    const auto written = port_->write(bytes, length);
    if (observer_ != nullptr) observer_->sent(bytes, written ? std::min(*written, length) : 0);
    if (!written) return false;
    auto counts = port_->queueCounts();
    if (!counts) return false;
    const std::uint32_t start = clock_.nowMs();
    while (counts->queued > 0 && clock_.nowMs() - start <= limitMs) {
        // Wait about as long as the queued bytes need on the line: the same
        // polling, without burning a core while a batch drains.
        const std::uint64_t drainMicros = (std::uint64_t{counts->queued} * kNanosPerByte + 999) / 1000;
        clock_.pauseMicros(static_cast<std::uint32_t>(std::min<std::uint64_t>(drainMicros, kMaxPauseMicros)));
        counts = port_->queueCounts();
        if (!counts) return false;
    }
    return counts->queued == 0;
}

bool PodLink::timedRead(std::uint8_t* destination, std::uint32_t count, std::uint32_t limitMs) {
    if (!port_) return false;
    std::uint32_t received = 0;
    bool waiting = false;
    std::uint32_t start = 0;
    // Measured as a difference, so a limit spanning the wrap of the 32-bit
    // millisecond counter lasts as long as any other.
    std::uint32_t elapsed = 0;
    std::uint32_t limit = limitMs;
    for (;;) {
        const auto got = port_->read(destination + received, 1);
        if (!got) return false;
        if (*got == 1) {
            if (observer_ != nullptr) observer_->received(destination + received, 1);
            received += 1;
            waiting = false;
            limit = kAfterFirstByteLimitMs;
        } else {
            if (!waiting) {
                waiting = true;
                start = clock_.nowMs();
                elapsed = 0;
            } else {
                elapsed = clock_.nowMs() - start;
            }
            clock_.sleepMs(1);
        }
        const auto queued = port_->receivedCount();
        if (!queued) return false;
        if (received >= count) return true;
        if (waiting && elapsed >= limit && (*queued == 0 || elapsed >= limit + kStuckQueueGraceMs)) return false;
    }
}

bool PodLink::send(const Frame& frame) {
    return frame.valid() && timedWrite(frame.data(), frame.size(), kFrameWriteLimitMs);
}

std::optional<Reply> PodLink::transact(const Frame& frame, std::uint32_t replyBytes, std::uint32_t limitMs) {
    Reply reply;
    if (replyBytes == 0 || replyBytes > reply.bytes.size()) return std::nullopt;
    if (!send(frame)) return std::nullopt;
    if (!timedRead(reply.bytes.data(), replyBytes, limitMs)) return std::nullopt;
    if (reply.bytes[0] != ACK) return std::nullopt;
    reply.size = replyBytes;
    return reply;
}

OutcomeCode PodLink::connectPod(StatusSink& status) {
    if (podConnected_) return OutcomeCode::Ok;
    OutcomeCode result = OutcomeCode::Ok;
    if (!backend_) {
        result = OutcomeCode::DriverMissing;
    } else if (!findPod()) {
        result = OutcomeCode::PodNotFound;
    } else {
        result = openPod();
    }
    if (result == OutcomeCode::PortFailed && !openFailure_.empty()) {
        status.showMessage(outcomeMessageWith(result, openFailure_), true);
    } else if (result != OutcomeCode::Ok) {
        status.showMessage(outcomeMessage(result), true);
    }
    return result;
}

void PodLink::probePod(StatusSink& status) {
    if (!loadDriver()) {
        status.showMessage(outcomeMessage(OutcomeCode::DriverMissing), true);
    } else if (!findPod()) {
        status.showMessage(outcomeMessage(OutcomeCode::PodNotFound), true);
    }
    if (pod_) status.showMessage(connectionMessage(*pod_), false);
}

}  // namespace cvl
