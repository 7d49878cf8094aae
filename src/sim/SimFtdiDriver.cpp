#include "SimFtdiDriver.h"

#include <algorithm>
#include <cstring>

namespace cvl::sim {

namespace {
// The one handle value the emulated pod hands out.
FtHandle podHandle() {
    static int token;
    return &token;
}
}  // namespace

std::vector<std::string> SimFtdiDriver::listed() const {
    std::vector<std::string> all = otherDevices;
    if (!pod_.unplugged()) all.push_back(pod_.options().description);
    return all;
}

FtStatus SimFtdiDriver::check(FtHandle handle, const std::string& call) {
    calls.push_back(call);
    if (failing.count(call.substr(0, call.find('(')))) return FT_IO_ERROR;
    if (!open_ || handle != podHandle()) return FT_INVALID_HANDLE;
    if (pod_.unplugged()) return FT_IO_ERROR;
    return FT_OK;
}

FtStatus SimFtdiDriver::listDevices(void* arg1, void* arg2, std::uint32_t flags) {
    calls.push_back("FT_ListDevices(" + std::to_string(flags) + ")");
    if (failing.count("FT_ListDevices")) return FT_IO_ERROR;
    const auto all = listed();
    if (flags == FT_LIST_NUMBER_ONLY) {
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(all.size());
        return FT_OK;
    }
    if (flags == (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION)) {
        const auto index = reinterpret_cast<std::uintptr_t>(arg1);
        if (index >= all.size()) return FT_DEVICE_NOT_FOUND;
        char* out = static_cast<char*>(arg2);
        std::memset(out, 0, kFtDescriptionBytes);
        std::strncpy(out, all[index].c_str(), kFtDescriptionBytes - 1);
        return FT_OK;
    }
    return FT_INVALID_PARAMETER;
}

FtStatus SimFtdiDriver::openEx(void* arg, std::uint32_t flags, FtHandle* handle) {
    calls.push_back(std::string("FT_OpenEx(") + static_cast<const char*>(arg) + ")");
    *handle = nullptr;
    if (failing.count("FT_OpenEx") || flags != FT_OPEN_BY_DESCRIPTION || open_) return FT_DEVICE_NOT_OPENED;
    if (pod_.unplugged() || pod_.options().description != static_cast<const char*>(arg)) return FT_DEVICE_NOT_FOUND;
    open_ = true;
    *handle = podHandle();
    return FT_OK;
}

FtStatus SimFtdiDriver::close(FtHandle handle) {
    calls.push_back("FT_Close");
    if (!open_ || handle != podHandle()) return FT_INVALID_HANDLE;
    open_ = false;
    return FT_OK;
}

FtStatus SimFtdiDriver::resetDevice(FtHandle h) { return check(h, "FT_ResetDevice"); }

FtStatus SimFtdiDriver::getLatencyTimer(FtHandle h, std::uint8_t* ms) {
    const FtStatus st = check(h, "FT_GetLatencyTimer");
    if (st == FT_OK) *ms = latencyTimer;
    return st;
}

FtStatus SimFtdiDriver::setLatencyTimer(FtHandle h, std::uint8_t ms) {
    const FtStatus st = check(h, "FT_SetLatencyTimer(" + std::to_string(ms) + ")");
    if (st == FT_OK) latencyTimer = ms;
    return st;
}

FtStatus SimFtdiDriver::setBaudRate(FtHandle h, std::uint32_t baud) {
    return check(h, "FT_SetBaudRate(" + std::to_string(baud) + ")");
}

FtStatus SimFtdiDriver::setDataCharacteristics(FtHandle h, std::uint8_t bits, std::uint8_t stop, std::uint8_t parity) {
    return check(h, "FT_SetDataCharacteristics(" + std::to_string(bits) + "," + std::to_string(stop) + "," +
                        std::to_string(parity) + ")");
}

FtStatus SimFtdiDriver::setFlowControl(FtHandle h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) {
    return check(
        h, "FT_SetFlowControl(" + std::to_string(flow) + "," + std::to_string(xon) + "," + std::to_string(xoff) + ")");
}

FtStatus SimFtdiDriver::setTimeouts(FtHandle h, std::uint32_t readMs, std::uint32_t writeMs) {
    const FtStatus st = check(h, "FT_SetTimeouts(" + std::to_string(readMs) + "," + std::to_string(writeMs) + ")");
    if (st == FT_OK) readTimeoutMs_ = readMs;
    return st;
}

FtStatus SimFtdiDriver::purge(FtHandle h, std::uint32_t mask) {
    const FtStatus st = check(h, "FT_Purge(" + std::to_string(mask) + ")");
    if (st == FT_OK && (mask & FT_PURGE_RX) != 0) pod_.purgeReceived(clock_.nowMicros());
    return st;
}

FtStatus SimFtdiDriver::write(FtHandle h, const void* data, std::uint32_t size, std::uint32_t* written) {
    *written = 0;
    const FtStatus st = check(h, "FT_Write");
    if (st != FT_OK) return st;
    pod_.receive(static_cast<const std::uint8_t*>(data), size, clock_.nowMicros());
    if (pod_.unplugged()) return FT_IO_ERROR;
    *written = size;
    return FT_OK;
}

FtStatus SimFtdiDriver::getStatus(FtHandle h, std::uint32_t* rx, std::uint32_t* tx, std::uint32_t* events) {
    calls.push_back("FT_GetStatus");
    if (!open_ || h != podHandle()) return FT_INVALID_HANDLE;
    if (pod_.unplugged() || failing.count("FT_GetStatus")) return FT_IO_ERROR;
    const std::uint64_t now = clock_.nowMicros();
    *rx = pod_.available(now);
    *tx = pod_.inboundPending(now);
    *events = 0;
    return FT_OK;
}

FtStatus SimFtdiDriver::read(FtHandle h, void* data, std::uint32_t size, std::uint32_t* got) {
    *got = 0;
    if (!open_ || h != podHandle()) return FT_INVALID_HANDLE;
    if (pod_.unplugged() || failing.count("FT_Read")) return FT_IO_ERROR;
    auto* out = static_cast<std::uint8_t*>(data);
    const std::uint64_t deadline = clock_.nowMicros() + std::uint64_t{readTimeoutMs_} * 1000;
    for (;;) {
        const std::uint64_t now = clock_.nowMicros();
        *got += static_cast<std::uint32_t>(pod_.take(out + *got, size - *got, now));
        if (*got == size || now >= deadline) return FT_OK;
        const std::uint64_t next = pod_.nextReadyUs();
        const std::uint64_t until = next != 0 ? std::min(next, deadline) : deadline;
        clock_.pauseMicros(static_cast<std::uint32_t>(std::max<std::uint64_t>(until - now, 1)));
    }
}

FtStatus SimFtdiDriver::getQueueStatus(FtHandle h, std::uint32_t* rx) {
    calls.push_back("FT_GetQueueStatus");
    if (!open_ || h != podHandle()) return FT_INVALID_HANDLE;
    if (pod_.unplugged() || failing.count("FT_GetQueueStatus")) return FT_IO_ERROR;
    *rx = pod_.available(clock_.nowMicros());
    return FT_OK;
}

}  // namespace cvl::sim
