#pragma once
// FTDI's own D2XX library, loaded at run time (Ftd2xx.dll, libftd2xx.so or
// libftd2xx.dylib). Every call goes straight to the library's function.

#include <memory>
#include <string>

#include "FtdiDriver.h"

namespace cvl {

class VendorD2xxDriver : public FtdiDriver {
public:
    // The library's file name on this system.
    static const char* defaultLibraryName();
    // Loads the library at path (a bare name is looked up the usual way);
    // nullptr when it is missing or lacks one of the functions.
    static std::unique_ptr<VendorD2xxDriver> load(const std::string& path, std::string* error = nullptr);
    ~VendorD2xxDriver() override;

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

    struct Api;

private:
    explicit VendorD2xxDriver(void* module, std::unique_ptr<Api> api);
    void* module_;
    std::unique_ptr<Api> api_;
};

}  // namespace cvl
