#include "CompositeDriver.h"

#include <algorithm>

namespace cvl {

CompositeDriver::CompositeDriver(std::vector<std::unique_ptr<FtdiDriver>> backends) : backends_(std::move(backends)) {}

CompositeDriver::~CompositeDriver() {
    for (auto& o : opened_) o->backend->close(o->handle);
}

FtStatus CompositeDriver::listDevices(void* arg1, void* arg2, std::uint32_t flags) {
    if (flags == FT_LIST_NUMBER_ONLY) {
        listed_.clear();
        for (auto& b : backends_) {
            std::uint32_t n = 0;
            if (b->listDevices(&n, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) continue;
            for (std::uint32_t i = 0; i < n; ++i) listed_.push_back({b.get(), i});
        }
        *static_cast<std::uint32_t*>(arg1) = static_cast<std::uint32_t>(listed_.size());
        return FT_OK;
    }
    if (flags == (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION)) {
        const auto index = reinterpret_cast<std::uintptr_t>(arg1);
        if (index >= listed_.size()) return FT_DEVICE_NOT_FOUND;
        const Listed& l = listed_[index];
        return l.backend->listDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(l.index)), arg2, flags);
    }
    return FT_INVALID_PARAMETER;
}

FtStatus CompositeDriver::openEx(void* arg, std::uint32_t flags, FtHandle* handle) {
    *handle = nullptr;
    FtStatus last = FT_DEVICE_NOT_FOUND;
    for (auto& b : backends_) {
        FtHandle h = nullptr;
        last = b->openEx(arg, flags, &h);
        if (last == FT_OK) {
            opened_.push_back(std::make_unique<Opened>(Opened{b.get(), h}));
            *handle = opened_.back().get();
            return FT_OK;
        }
    }
    return last;
}

CompositeDriver::Opened* CompositeDriver::find(FtHandle handle) {
    for (auto& o : opened_) {
        if (o.get() == handle) return o.get();
    }
    return nullptr;
}

FtStatus CompositeDriver::close(FtHandle handle) {
    const auto it = std::find_if(opened_.begin(), opened_.end(), [&](auto& o) { return o.get() == handle; });
    if (it == opened_.end()) return FT_INVALID_HANDLE;
    const FtStatus st = (*it)->backend->close((*it)->handle);
    opened_.erase(it);
    return st;
}

template <typename Call>
FtStatus CompositeDriver::route(FtHandle handle, Call call) {
    Opened* o = find(handle);
    return o == nullptr ? FT_INVALID_HANDLE : call(*o->backend, o->handle);
}

FtStatus CompositeDriver::resetDevice(FtHandle handle) {
    return route(handle, [](FtdiDriver& d, FtHandle h) { return d.resetDevice(h); });
}
FtStatus CompositeDriver::getLatencyTimer(FtHandle handle, std::uint8_t* ms) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.getLatencyTimer(h, ms); });
}
FtStatus CompositeDriver::setLatencyTimer(FtHandle handle, std::uint8_t ms) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.setLatencyTimer(h, ms); });
}
FtStatus CompositeDriver::setBaudRate(FtHandle handle, std::uint32_t baud) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.setBaudRate(h, baud); });
}
FtStatus CompositeDriver::setDataCharacteristics(FtHandle handle, std::uint8_t bits, std::uint8_t stop,
                                                 std::uint8_t parity) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.setDataCharacteristics(h, bits, stop, parity); });
}
FtStatus CompositeDriver::setFlowControl(FtHandle handle, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.setFlowControl(h, flow, xon, xoff); });
}
FtStatus CompositeDriver::setTimeouts(FtHandle handle, std::uint32_t readMs, std::uint32_t writeMs) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.setTimeouts(h, readMs, writeMs); });
}
FtStatus CompositeDriver::purge(FtHandle handle, std::uint32_t mask) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.purge(h, mask); });
}
FtStatus CompositeDriver::write(FtHandle handle, const void* data, std::uint32_t size, std::uint32_t* written) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.write(h, data, size, written); });
}
FtStatus CompositeDriver::getStatus(FtHandle handle, std::uint32_t* rx, std::uint32_t* tx, std::uint32_t* events) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.getStatus(h, rx, tx, events); });
}
FtStatus CompositeDriver::read(FtHandle handle, void* data, std::uint32_t size, std::uint32_t* got) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.read(h, data, size, got); });
}
FtStatus CompositeDriver::getQueueStatus(FtHandle handle, std::uint32_t* rx) {
    return route(handle, [=](FtdiDriver& d, FtHandle h) { return d.getQueueStatus(h, rx); });
}

}  // namespace cvl
