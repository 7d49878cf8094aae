#include "VendorD2xxDriver.h"

#include <dlfcn.h>

namespace cvl {

// The D2XX entry points; DWORD and ULONG are 32 bits in the library's
// Linux and macOS builds, as on Windows.
struct VendorD2xxDriver::Api {
    FtStatus (*listDevices)(void*, void*, std::uint32_t);
    FtStatus (*openEx)(void*, std::uint32_t, FtHandle*);
    FtStatus (*close)(FtHandle);
    FtStatus (*resetDevice)(FtHandle);
    FtStatus (*getLatencyTimer)(FtHandle, std::uint8_t*);
    FtStatus (*setLatencyTimer)(FtHandle, std::uint8_t);
    FtStatus (*setBaudRate)(FtHandle, std::uint32_t);
    FtStatus (*setDataCharacteristics)(FtHandle, std::uint8_t, std::uint8_t, std::uint8_t);
    FtStatus (*setFlowControl)(FtHandle, std::uint16_t, std::uint8_t, std::uint8_t);
    FtStatus (*setTimeouts)(FtHandle, std::uint32_t, std::uint32_t);
    FtStatus (*purge)(FtHandle, std::uint32_t);
    FtStatus (*write)(FtHandle, const void*, std::uint32_t, std::uint32_t*);
    FtStatus (*getStatus)(FtHandle, std::uint32_t*, std::uint32_t*, std::uint32_t*);
    FtStatus (*read)(FtHandle, void*, std::uint32_t, std::uint32_t*);
    FtStatus (*getQueueStatus)(FtHandle, std::uint32_t*);
};

const char* VendorD2xxDriver::defaultLibraryName() {
#if defined(_WIN32)
    return "Ftd2xx.dll";
#elif defined(__APPLE__)
    return "libftd2xx.dylib";
#else
    return "libftd2xx.so";
#endif
}

namespace {
template <typename Fn>
bool bind(void* module, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(dlsym(module, name));
    return fn != nullptr;
}
}  // namespace

std::unique_ptr<VendorD2xxDriver> VendorD2xxDriver::load(const std::string& path, std::string* error) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        if (error != nullptr) *error = dlerror();
        return nullptr;
    }
    auto api = std::make_unique<Api>();
    const bool complete = bind(module, "FT_ListDevices", api->listDevices) && bind(module, "FT_OpenEx", api->openEx) &&
                          bind(module, "FT_Close", api->close) && bind(module, "FT_ResetDevice", api->resetDevice) &&
                          bind(module, "FT_GetLatencyTimer", api->getLatencyTimer) &&
                          bind(module, "FT_SetLatencyTimer", api->setLatencyTimer) &&
                          bind(module, "FT_SetBaudRate", api->setBaudRate) &&
                          bind(module, "FT_SetDataCharacteristics", api->setDataCharacteristics) &&
                          bind(module, "FT_SetFlowControl", api->setFlowControl) &&
                          bind(module, "FT_SetTimeouts", api->setTimeouts) && bind(module, "FT_Purge", api->purge) &&
                          bind(module, "FT_Write", api->write) && bind(module, "FT_GetStatus", api->getStatus) &&
                          bind(module, "FT_Read", api->read) && bind(module, "FT_GetQueueStatus", api->getQueueStatus);
    if (!complete) {
        if (error != nullptr) *error = path + ": a D2XX function is missing";
        dlclose(module);
        return nullptr;
    }
    return std::unique_ptr<VendorD2xxDriver>(new VendorD2xxDriver(module, std::move(api)));
}

VendorD2xxDriver::VendorD2xxDriver(void* module, std::unique_ptr<Api> api) : module_(module), api_(std::move(api)) {}

VendorD2xxDriver::~VendorD2xxDriver() { dlclose(module_); }

FtStatus VendorD2xxDriver::listDevices(void* a1, void* a2, std::uint32_t f) { return api_->listDevices(a1, a2, f); }
FtStatus VendorD2xxDriver::openEx(void* a, std::uint32_t f, FtHandle* h) { return api_->openEx(a, f, h); }
FtStatus VendorD2xxDriver::close(FtHandle h) { return api_->close(h); }
FtStatus VendorD2xxDriver::resetDevice(FtHandle h) { return api_->resetDevice(h); }
FtStatus VendorD2xxDriver::getLatencyTimer(FtHandle h, std::uint8_t* ms) { return api_->getLatencyTimer(h, ms); }
FtStatus VendorD2xxDriver::setLatencyTimer(FtHandle h, std::uint8_t ms) { return api_->setLatencyTimer(h, ms); }
FtStatus VendorD2xxDriver::setBaudRate(FtHandle h, std::uint32_t b) { return api_->setBaudRate(h, b); }
FtStatus VendorD2xxDriver::setDataCharacteristics(FtHandle h, std::uint8_t b, std::uint8_t s, std::uint8_t p) {
    return api_->setDataCharacteristics(h, b, s, p);
}
FtStatus VendorD2xxDriver::setFlowControl(FtHandle h, std::uint16_t f, std::uint8_t on, std::uint8_t off) {
    return api_->setFlowControl(h, f, on, off);
}
FtStatus VendorD2xxDriver::setTimeouts(FtHandle h, std::uint32_t r, std::uint32_t w) {
    return api_->setTimeouts(h, r, w);
}
FtStatus VendorD2xxDriver::purge(FtHandle h, std::uint32_t m) { return api_->purge(h, m); }
FtStatus VendorD2xxDriver::write(FtHandle h, const void* d, std::uint32_t n, std::uint32_t* w) {
    return api_->write(h, d, n, w);
}
FtStatus VendorD2xxDriver::getStatus(FtHandle h, std::uint32_t* rx, std::uint32_t* tx, std::uint32_t* ev) {
    return api_->getStatus(h, rx, tx, ev);
}
FtStatus VendorD2xxDriver::read(FtHandle h, void* d, std::uint32_t n, std::uint32_t* g) {
    return api_->read(h, d, n, g);
}
FtStatus VendorD2xxDriver::getQueueStatus(FtHandle h, std::uint32_t* rx) { return api_->getQueueStatus(h, rx); }

}  // namespace cvl
