#include "PodLink.h"

#include <algorithm>
#include <cstring>

#include "PodCommands.h"

namespace cvl {

namespace {
constexpr std::uint32_t kBaudRate = 921600;
constexpr std::uint32_t kDeviceTimeoutMs = 200;
constexpr std::uint32_t kPurgeBoth = FT_PURGE_RX | FT_PURGE_TX;
constexpr std::uint32_t kAfterFirstByteLimitMs = 100;
// 10 bits a byte at the line rate, in nanoseconds: how long the transmit
// queue needs to drain, used to pace the polling instead of spinning.
constexpr std::uint32_t kNanosPerByte = 10851;
constexpr std::uint32_t kMaxPauseMicros = 20000;
// A device that keeps reporting queued bytes while every read comes back
// empty would hold a read open forever; past its limit by this much it fails.
constexpr std::uint32_t kStuckQueueGraceMs = 1000;
}  // namespace

PodLink::PodLink(DriverLoader loader, Clock& clock) : loader_(std::move(loader)), clock_(clock) {}

PodLink::~PodLink() {
    closePod();
    unloadDriver();
}

bool PodLink::loadDriver() {
    if (!driver_ && loader_) driver_ = loader_();
    return driver_ != nullptr;
}

void PodLink::unloadDriver() {
    closePod();
    driver_.reset();
}

bool PodLink::findPod() {
    if (!driver_) {
        podFound_ = false;
        return false;
    }
    if (podFound_) return true;
    podDescription_.fill(0);
    std::uint32_t count = 0;
    if (driver_->listDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK || count == 0) {
        podDescription_.fill(0);
        podFound_ = false;
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const FtStatus st = driver_->listDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(i)),
                                                 podDescription_.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
        podDescription_.back() = '\0';  // a backend's text is never trusted to be terminated
        if (st == FT_OK && std::strcmp(podDescription_.data(), kPodDescription) == 0) {
            podFound_ = true;
            return true;
        }
        podDescription_.fill(0);
    }
    podFound_ = false;
    return false;
}

void PodLink::closeHandle() {
    driver_->close(deviceHandle_);
    deviceHandle_ = nullptr;
}

PodOpenResult PodLink::openPod() {
    if (podConnected_) return PodOpenResult::Opened;
    if (!driver_ || !podFound_) return PodOpenResult::PortFailed;
    if (driver_->openEx(podDescription_.data(), FT_OPEN_BY_DESCRIPTION, &deviceHandle_) != FT_OK) {
        deviceHandle_ = nullptr;
        return PodOpenResult::PortFailed;
    }
    FtdiDriver& d = *driver_;
    FtHandle h = deviceHandle_;
    std::uint8_t latency = 0;
    const bool configured =
        d.resetDevice(h) == FT_OK && d.getLatencyTimer(h, &latency) == FT_OK &&
        (latency == 1 || d.setLatencyTimer(h, 1) == FT_OK) && d.setBaudRate(h, kBaudRate) == FT_OK &&
        d.setDataCharacteristics(h, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) == FT_OK &&
        d.setFlowControl(h, FT_FLOW_NONE, 0, 0) == FT_OK &&
        d.setTimeouts(h, kDeviceTimeoutMs, kDeviceTimeoutMs) == FT_OK && d.purge(h, kPurgeBoth) == FT_OK;
    if (!configured) {
        closeHandle();
        return PodOpenResult::PortFailed;
    }
    if (!podInit(*this)) {
        closeHandle();
        return PodOpenResult::InitFailed;
    }
    podConnected_ = true;
    return PodOpenResult::Opened;
}

void PodLink::closePod() {
    podConnected_ = false;
    if (deviceHandle_ != nullptr && driver_) {
        driver_->purge(deviceHandle_, kPurgeBoth);
        closeHandle();
    }
}

void PodLink::purgePod() {
    if (driver_) driver_->purge(deviceHandle_, kPurgeBoth);
}

std::optional<std::uint32_t> PodLink::receiveQueueCount() {
    std::uint32_t rx = 0;
    if (!driver_ || driver_->getQueueStatus(deviceHandle_, &rx) != FT_OK) return std::nullopt;
    return rx;
}

bool PodLink::timedWrite(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t limitMs) {
    if (!driver_) return false;
    std::uint32_t written = 0;
    if (driver_->write(deviceHandle_, bytes, length, &written) != FT_OK) return false;
    if (observer_ != nullptr) observer_->sent(bytes, std::min(written, length));
    std::uint32_t rx = 0, tx = 0, events = 0;
    if (driver_->getStatus(deviceHandle_, &rx, &tx, &events) != FT_OK) return false;
    const std::uint32_t start = clock_.nowMs();
    while (tx > 0 && clock_.nowMs() - start <= limitMs) {
        // Wait about as long as the queued bytes need on the line: the same
        // polling, without burning a core while a batch drains.
        const std::uint64_t drainMicros = (std::uint64_t{tx} * kNanosPerByte + 999) / 1000;
        clock_.pauseMicros(static_cast<std::uint32_t>(std::min<std::uint64_t>(drainMicros, kMaxPauseMicros)));
        if (driver_->getStatus(deviceHandle_, &rx, &tx, &events) != FT_OK) return false;
    }
    return tx == 0;
}

bool PodLink::timedRead(std::uint8_t* destination, std::uint32_t count, std::uint32_t limitMs) {
    if (!driver_) return false;
    std::uint32_t received = 0;
    bool waiting = false;
    std::uint32_t start = 0;
    std::uint32_t now = 0;
    std::uint32_t limit = limitMs;
    for (;;) {
        std::uint32_t got = 0;
        if (driver_->read(deviceHandle_, destination + received, 1, &got) != FT_OK) return false;
        if (got == 1) {
            if (observer_ != nullptr) observer_->received(destination + received, 1);
            received += 1;
            waiting = false;
            now = 0;
            limit = kAfterFirstByteLimitMs;
        } else {
            if (!waiting) {
                waiting = true;
                start = clock_.nowMs();
            } else {
                now = clock_.nowMs();
            }
            clock_.sleepMs(1);
        }
        std::uint32_t queued = 0;
        if (driver_->getQueueStatus(deviceHandle_, &queued) != FT_OK) return false;
        if (received >= count) return true;
        if (now >= start + limit && (queued == 0 || now - start >= limit + kStuckQueueGraceMs)) return false;
    }
}

bool PodLink::connectPod(StatusSink& status) {
    if (podConnected_) return true;
    if (!driver_) {
        status.showMessage("Fail to load FTD2XX.DLL", true);
        return false;
    }
    if (!findPod()) {
        status.showMessage("No Connection to Corvexlink POD", true);
        return false;
    }
    switch (openPod()) {
        case PodOpenResult::Opened:
            return true;
        case PodOpenResult::PortFailed:
            status.showMessage("Fail to open communication port", true);
            break;
        case PodOpenResult::InitFailed:
            status.showMessage("Fail to initialize Corvexlink POD", true);
            break;
    }
    return false;
}

void PodLink::probePod(StatusSink& status) {
    if (!loadDriver()) {
        status.showMessage("Fail to load FTD2XX.DLL", true);
    } else if (!findPod()) {
        status.showMessage("No Connection to Corvexlink POD", true);
    }
    if (podFound_) status.showMessage("Connection to Corvexlink POD is successful", false);
}

}  // namespace cvl
