// A stand-in for FTDI's D2XX shared library: exports the C functions the
// programmer binds at run time and serves them from the pod emulator, so the
// vendor backend's loading and calling can be tested without FTDI's library.

#include <cstdint>

#include "ManualClock.h"
#include "PodEmulator.h"
#include "SimFtdiDriver.h"

namespace {

// One emulated pod per loaded copy of the library, as a real library serves
// the devices on the bus.
cvl::sim::SimFtdiDriver& driver() {
    static cvl::sim::ManualClock clock;
    static cvl::sim::PodEmulator pod{cvl::sim::EmulatorOptions{}};
    static cvl::sim::SimFtdiDriver sim(pod, clock);
    return sim;
}

}  // namespace

using cvl::FtHandle;
using cvl::FtStatus;

extern "C" {

__attribute__((visibility("default"))) FtStatus FT_ListDevices(void* a1, void* a2, std::uint32_t flags) {
    return driver().listDevices(a1, a2, flags);
}
__attribute__((visibility("default"))) FtStatus FT_OpenEx(void* arg, std::uint32_t flags, FtHandle* h) {
    return driver().openEx(arg, flags, h);
}
__attribute__((visibility("default"))) FtStatus FT_Close(FtHandle h) { return driver().close(h); }
__attribute__((visibility("default"))) FtStatus FT_ResetDevice(FtHandle h) { return driver().resetDevice(h); }
__attribute__((visibility("default"))) FtStatus FT_GetLatencyTimer(FtHandle h, std::uint8_t* ms) {
    return driver().getLatencyTimer(h, ms);
}
__attribute__((visibility("default"))) FtStatus FT_SetLatencyTimer(FtHandle h, std::uint8_t ms) {
    return driver().setLatencyTimer(h, ms);
}
__attribute__((visibility("default"))) FtStatus FT_SetBaudRate(FtHandle h, std::uint32_t baud) {
    return driver().setBaudRate(h, baud);
}
__attribute__((visibility("default"))) FtStatus FT_SetDataCharacteristics(FtHandle h, std::uint8_t b, std::uint8_t s,
                                                                          std::uint8_t p) {
    return driver().setDataCharacteristics(h, b, s, p);
}
__attribute__((visibility("default"))) FtStatus FT_SetFlowControl(FtHandle h, std::uint16_t f, std::uint8_t on,
                                                                  std::uint8_t off) {
    return driver().setFlowControl(h, f, on, off);
}
__attribute__((visibility("default"))) FtStatus FT_SetTimeouts(FtHandle h, std::uint32_t r, std::uint32_t w) {
    return driver().setTimeouts(h, r, w);
}
__attribute__((visibility("default"))) FtStatus FT_Purge(FtHandle h, std::uint32_t mask) {
    return driver().purge(h, mask);
}
__attribute__((visibility("default"))) FtStatus FT_Write(FtHandle h, const void* d, std::uint32_t n, std::uint32_t* w) {
    return driver().write(h, d, n, w);
}
__attribute__((visibility("default"))) FtStatus FT_GetStatus(FtHandle h, std::uint32_t* rx, std::uint32_t* tx,
                                                             std::uint32_t* ev) {
    return driver().getStatus(h, rx, tx, ev);
}
__attribute__((visibility("default"))) FtStatus FT_Read(FtHandle h, void* d, std::uint32_t n, std::uint32_t* g) {
    return driver().read(h, d, n, g);
}
__attribute__((visibility("default"))) FtStatus FT_GetQueueStatus(FtHandle h, std::uint32_t* rx) {
    return driver().getQueueStatus(h, rx);
}

}  // extern "C"
