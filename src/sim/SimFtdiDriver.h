#pragma once
// The in-process pod: an FtdiDriver whose one openable device is a
// PodEmulator, on an injected clock. Reads that find nothing wait on that
// clock up to the device's read time-out, so a ManualClock makes 10-second
// limits pass instantly. Optional extra devices with other descriptions are
// listed but cannot be opened. Every call is logged for order checks.

#include <set>
#include <string>
#include <vector>

#include "Clock.h"
#include "FtdiDriver.h"
#include "PodEmulator.h"

namespace cvl::sim {

class SimFtdiDriver : public FtdiDriver {
public:
    SimFtdiDriver(PodEmulator& pod, Clock& clock) : pod_(pod), clock_(clock) {}

    // Devices listed before the pod, in order.
    std::vector<std::string> otherDevices;
    // The latency timer the device reports before it is set.
    std::uint8_t latencyTimer = 16;
    // Names of calls ("FT_SetBaudRate") made to fail with FT_IO_ERROR.
    std::set<std::string> failing;
    // "FT_SetBaudRate(921600)" and so on, in call order.
    std::vector<std::string> calls;
    bool isOpen() const { return open_; }

    FtStatus listDevices(void* arg1, void* arg2, std::uint32_t flags) override;
    FtStatus openEx(void* arg, std::uint32_t flags, FtHandle* handle) override;
    FtStatus close(FtHandle handle) override;
    FtStatus resetDevice(FtHandle handle) override;
    FtStatus getLatencyTimer(FtHandle handle, std::uint8_t* ms) override;
    FtStatus setLatencyTimer(FtHandle handle, std::uint8_t ms) override;
    FtStatus setBaudRate(FtHandle handle, std::uint32_t baud) override;
    FtStatus setDataCharacteristics(FtHandle handle, std::uint8_t bits, std::uint8_t stop,
                                    std::uint8_t parity) override;
    FtStatus setFlowControl(FtHandle handle, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) override;
    FtStatus setTimeouts(FtHandle handle, std::uint32_t readMs, std::uint32_t writeMs) override;
    FtStatus purge(FtHandle handle, std::uint32_t mask) override;
    FtStatus write(FtHandle handle, const void* data, std::uint32_t size, std::uint32_t* written) override;
    FtStatus getStatus(FtHandle handle, std::uint32_t* rxQueue, std::uint32_t* txQueue, std::uint32_t* events) override;
    FtStatus read(FtHandle handle, void* data, std::uint32_t size, std::uint32_t* got) override;
    FtStatus getQueueStatus(FtHandle handle, std::uint32_t* rxQueue) override;

private:
    FtStatus check(FtHandle handle, const std::string& call);
    std::vector<std::string> listed() const;

    PodEmulator& pod_;
    Clock& clock_;
    bool open_ = false;
    std::uint32_t readTimeoutMs_ = 0;
};

}  // namespace cvl::sim
