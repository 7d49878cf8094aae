// A stand-in for FTDI's D2XX shared library: exports the C functions the
// programmer binds at run time and serves them from the pod emulator, so the
// vendor backend's loading and calling can be tested without FTDI's library.
// It lists the emulated pod after one other FTDI device.

#include <cstdint>
#include <cstring>
#include <memory>

#include "pod/D2xxApi.h"
#include "common/ManualClock.h"
#include "sim/PodEmulator.h"
#include "sim/SimPodBackend.h"

namespace {

using namespace cvl::d2xx;

struct Standin {
    cvl::ManualClock clock;
    cvl::sim::PodEmulator pod{cvl::sim::EmulatorOptions{}};
    cvl::sim::SimPodBackend backend{pod, clock};
    std::unique_ptr<cvl::PodPort> port;
    Standin() { backend.otherDevices = {"FT232R USB UART"}; }
};

// One emulated pod per loaded copy of the library, as a real library serves
// the devices on the bus.
Standin& standin() {
    static Standin s;
    return s;
}

cvl::PodPort* portOf(FtHandle h) {
    Standin& s = standin();
    return h != nullptr && h == s.port.get() ? s.port.get() : nullptr;
}

FtStatus status(bool ok) { return ok ? FT_OK : FT_IO_ERROR; }

void copyText(void* into, const std::string& text) {
    auto* out = static_cast<char*>(into);
    std::memset(out, 0, kTextBytes);
    std::strncpy(out, text.c_str(), kTextBytes - 1);
}

}  // namespace

#define D2XX_EXPORT extern "C" __attribute__((visibility("default")))

D2XX_EXPORT FtStatus FT_ListDevices(void* a1, void* a2, std::uint32_t flags) {
    const auto devices = standin().backend.enumerate();
    if (flags == FT_LIST_NUMBER_ONLY) {
        *static_cast<std::uint32_t*>(a1) = static_cast<std::uint32_t>(devices.size());
        return FT_OK;
    }
    if ((flags & FT_LIST_BY_INDEX) == 0) return FT_INVALID_PARAMETER;
    const auto index = reinterpret_cast<std::uintptr_t>(a1);
    if (index >= devices.size()) return FT_DEVICE_NOT_FOUND;
    switch (flags & ~FT_LIST_BY_INDEX) {
        case FT_OPEN_BY_DESCRIPTION:
            copyText(a2, devices[index].description);
            return FT_OK;
        case FT_OPEN_BY_SERIAL_NUMBER:
            copyText(a2, devices[index].serialNumber);
            return FT_OK;
        case FT_OPEN_BY_LOCATION:
            *static_cast<std::uint32_t*>(a2) = static_cast<std::uint32_t>(0x1000 + index);
            return FT_OK;
        default:
            return FT_INVALID_PARAMETER;
    }
}

D2XX_EXPORT FtStatus FT_OpenEx(void* arg, std::uint32_t flags, FtHandle* h) {
    *h = nullptr;
    Standin& s = standin();
    const std::string key(static_cast<const char*>(arg));
    for (const cvl::PodInfo& device : s.backend.enumerate()) {
        const bool match = (flags == FT_OPEN_BY_DESCRIPTION && device.description == key) ||
                           (flags == FT_OPEN_BY_SERIAL_NUMBER && device.serialNumber == key);
        if (!match) continue;
        if (s.port) return FT_DEVICE_NOT_OPENED;
        s.port = s.backend.open(device);
        if (!s.port) return FT_DEVICE_NOT_OPENED;
        *h = s.port.get();
        return FT_OK;
    }
    return FT_DEVICE_NOT_FOUND;
}

D2XX_EXPORT FtStatus FT_Close(FtHandle h) {
    if (portOf(h) == nullptr) return FT_INVALID_HANDLE;
    standin().port.reset();
    return FT_OK;
}

D2XX_EXPORT FtStatus FT_ResetDevice(FtHandle h) {
    auto* p = portOf(h);
    return p == nullptr ? FT_INVALID_HANDLE : status(p->resetDevice());
}
D2XX_EXPORT FtStatus FT_GetLatencyTimer(FtHandle h, std::uint8_t* ms) {
    auto* p = portOf(h);
    if (p == nullptr) return FT_INVALID_HANDLE;
    const auto value = p->latencyTimer();
    if (value) *ms = *value;
    return status(value.has_value());
}
D2XX_EXPORT FtStatus FT_SetLatencyTimer(FtHandle h, std::uint8_t ms) {
    auto* p = portOf(h);
    return p == nullptr ? FT_INVALID_HANDLE : status(p->setLatencyTimer(ms));
}
D2XX_EXPORT FtStatus FT_SetBaudRate(FtHandle h, std::uint32_t baud) {
    auto* p = portOf(h);
    return p == nullptr ? FT_INVALID_HANDLE : status(p->setBaudRate(baud));
}
D2XX_EXPORT FtStatus FT_SetDataCharacteristics(FtHandle h, std::uint8_t bits, std::uint8_t stop, std::uint8_t parity) {
    auto* p = portOf(h);
    if (p == nullptr) return FT_INVALID_HANDLE;
    if (bits != FT_BITS_8 || stop != FT_STOP_BITS_1 || parity != FT_PARITY_NONE) return FT_INVALID_PARAMETER;
    return status(p->setLineFormat8N1());
}
D2XX_EXPORT FtStatus FT_SetFlowControl(FtHandle h, std::uint16_t flow, std::uint8_t, std::uint8_t) {
    auto* p = portOf(h);
    if (p == nullptr) return FT_INVALID_HANDLE;
    if (flow != FT_FLOW_NONE) return FT_INVALID_PARAMETER;
    return status(p->disableFlowControl());
}
D2XX_EXPORT FtStatus FT_SetTimeouts(FtHandle h, std::uint32_t r, std::uint32_t w) {
    auto* p = portOf(h);
    return p == nullptr ? FT_INVALID_HANDLE : status(p->setTimeouts(r, w));
}
D2XX_EXPORT FtStatus FT_Purge(FtHandle h, std::uint32_t mask) {
    auto* p = portOf(h);
    return p == nullptr ? FT_INVALID_HANDLE : status(p->purge(mask & FT_PURGE_RX, mask & FT_PURGE_TX));
}
D2XX_EXPORT FtStatus FT_Write(FtHandle h, const void* d, std::uint32_t n, std::uint32_t* w) {
    auto* p = portOf(h);
    if (p == nullptr) return FT_INVALID_HANDLE;
    const auto written = p->write(static_cast<const std::uint8_t*>(d), n);
    *w = written.value_or(0);
    return status(written.has_value());
}
D2XX_EXPORT FtStatus FT_GetStatus(FtHandle h, std::uint32_t* rx, std::uint32_t* tx, std::uint32_t* ev) {
    auto* p = portOf(h);
    if (p == nullptr) return FT_INVALID_HANDLE;
    const auto counts = p->queueCounts();
    if (counts) {
        *rx = counts->received;
        *tx = counts->queued;
        *ev = 0;
    }
    return status(counts.has_value());
}
D2XX_EXPORT FtStatus FT_Read(FtHandle h, void* d, std::uint32_t n, std::uint32_t* g) {
    auto* p = portOf(h);
    if (p == nullptr) return FT_INVALID_HANDLE;
    const auto got = p->read(static_cast<std::uint8_t*>(d), n);
    *g = got.value_or(0);
    return status(got.has_value());
}
D2XX_EXPORT FtStatus FT_GetQueueStatus(FtHandle h, std::uint32_t* rx) {
    auto* p = portOf(h);
    if (p == nullptr) return FT_INVALID_HANDLE;
    const auto count = p->receivedCount();
    if (count) *rx = *count;
    return status(count.has_value());
}
