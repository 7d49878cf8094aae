#pragma once
// The pod through the Linux kernel's serial drivers: FTDI adapters bound to
// ftdi_sio (/dev/ttyUSB*, described by their USB product string), then the
// virtual pods that running emulators announce (pseudo-terminals). Each is
// opened raw; latency maps to the low-latency setting, purges to tcflush,
// queue counts to FIONREAD/TIOCOUTQ and time-outs to poll().

#include <string>
#include <vector>

#include "FtdiDriver.h"

namespace cvl {

class SerialTtyDriver : public FtdiDriver {
public:
    struct Device {
        std::string description;
        std::string path;
        bool usb;  // a real adapter (ttyUSB), not an emulator's pseudo-terminal
    };

    // The devices present now: USB serial adapters, then announced virtual pods.
    static std::vector<Device> scan();

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
    std::vector<Device> listed_;
};

}  // namespace cvl
