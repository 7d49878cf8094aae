#pragma once
// Lists the devices of several backends one after the other and routes every
// call on a device to the backend that listed it.

#include <memory>
#include <vector>

#include "FtdiDriver.h"

namespace cvl {

class CompositeDriver : public FtdiDriver {
public:
    explicit CompositeDriver(std::vector<std::unique_ptr<FtdiDriver>> backends);
    ~CompositeDriver() override;

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
    struct Opened {
        FtdiDriver* backend;
        FtHandle handle;
    };
    struct Listed {
        FtdiDriver* backend;
        std::uint32_t index;
    };
    Opened* find(FtHandle handle);
    template <typename Call>
    FtStatus route(FtHandle handle, Call call);

    std::vector<std::unique_ptr<FtdiDriver>> backends_;
    std::vector<Listed> listed_;
    std::vector<std::unique_ptr<Opened>> opened_;
};

}  // namespace cvl
