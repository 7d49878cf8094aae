#include "pod/VendorD2xxBackend.h"

#include <array>
#include <cstdio>

#include "platform/SharedLibrary.h"
#include "pod/D2xxApi.h"

namespace cvl {

using namespace d2xx;

// The library's calling convention (the Windows API's; the one of x64 and
// of the other systems' builds).
#if defined(_WIN32)
#define D2XX_CALL __stdcall
#else
#define D2XX_CALL
#endif

// The D2XX entry points; DWORD and ULONG are 32 bits in the library's
// Linux and macOS builds, as on Windows.
struct VendorD2xxBackend::Api {
    FtStatus(D2XX_CALL* listDevices)(void*, void*, std::uint32_t);
    FtStatus(D2XX_CALL* openEx)(void*, std::uint32_t, FtHandle*);
    FtStatus(D2XX_CALL* close)(FtHandle);
    FtStatus(D2XX_CALL* resetDevice)(FtHandle);
    FtStatus(D2XX_CALL* getLatencyTimer)(FtHandle, std::uint8_t*);
    FtStatus(D2XX_CALL* setLatencyTimer)(FtHandle, std::uint8_t);
    FtStatus(D2XX_CALL* setBaudRate)(FtHandle, std::uint32_t);
    FtStatus(D2XX_CALL* setDataCharacteristics)(FtHandle, std::uint8_t, std::uint8_t, std::uint8_t);
    FtStatus(D2XX_CALL* setFlowControl)(FtHandle, std::uint16_t, std::uint8_t, std::uint8_t);
    FtStatus(D2XX_CALL* setTimeouts)(FtHandle, std::uint32_t, std::uint32_t);
    FtStatus(D2XX_CALL* purge)(FtHandle, std::uint32_t);
    FtStatus(D2XX_CALL* write)(FtHandle, const void*, std::uint32_t, std::uint32_t*);
    FtStatus(D2XX_CALL* getStatus)(FtHandle, std::uint32_t*, std::uint32_t*, std::uint32_t*);
    FtStatus(D2XX_CALL* read)(FtHandle, void*, std::uint32_t, std::uint32_t*);
    FtStatus(D2XX_CALL* getQueueStatus)(FtHandle, std::uint32_t*);
};

namespace {

template <typename Fn>
bool bind(const SharedLibrary& module, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(module.symbol(name));
    return fn != nullptr;
}

void* indexArg(std::uint32_t i) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(i)); }

// A text the library wrote, never trusted to be terminated.
std::string listedText(const VendorD2xxBackend::Api& api, std::uint32_t index, std::uint32_t what) {
    std::array<char, kTextBytes> text{};
    if (api.listDevices(indexArg(index), text.data(), FT_LIST_BY_INDEX | what) != FT_OK) return "";
    text.back() = '\0';
    return text.data();
}

class VendorPort : public PodPort {
public:
    VendorPort(std::shared_ptr<const VendorD2xxBackend::Api> api, FtHandle handle) : api_(std::move(api)), h_(handle) {}
    ~VendorPort() override { close(); }

    bool resetDevice() override { return api_->resetDevice(h_) == FT_OK; }
    std::optional<std::uint8_t> latencyTimer() override {
        std::uint8_t ms = 0;
        if (api_->getLatencyTimer(h_, &ms) != FT_OK) return std::nullopt;
        return ms;
    }
    bool setLatencyTimer(std::uint8_t ms) override { return api_->setLatencyTimer(h_, ms) == FT_OK; }
    bool setBaudRate(std::uint32_t baud) override { return api_->setBaudRate(h_, baud) == FT_OK; }
    bool setLineFormat8N1() override {
        return api_->setDataCharacteristics(h_, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) == FT_OK;
    }
    bool disableFlowControl() override { return api_->setFlowControl(h_, FT_FLOW_NONE, 0, 0) == FT_OK; }
    bool setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        return api_->setTimeouts(h_, readMs, writeMs) == FT_OK;
    }
    bool purge(bool receive, bool transmit) override {
        return api_->purge(h_, (receive ? FT_PURGE_RX : 0) | (transmit ? FT_PURGE_TX : 0)) == FT_OK;
    }
    std::optional<std::uint32_t> write(const std::uint8_t* bytes, std::uint32_t size) override {
        std::uint32_t written = 0;
        if (api_->write(h_, bytes, size, &written) != FT_OK) return std::nullopt;
        return written;
    }
    std::optional<std::uint32_t> read(std::uint8_t* into, std::uint32_t limit) override {
        std::uint32_t got = 0;
        if (api_->read(h_, into, limit, &got) != FT_OK || got > limit) return std::nullopt;
        return got;
    }
    std::optional<QueueCounts> queueCounts() override {
        QueueCounts counts;
        std::uint32_t events = 0;
        if (api_->getStatus(h_, &counts.received, &counts.queued, &events) != FT_OK) return std::nullopt;
        return counts;
    }
    std::optional<std::uint32_t> receivedCount() override {
        std::uint32_t rx = 0;
        if (api_->getQueueStatus(h_, &rx) != FT_OK) return std::nullopt;
        return rx;
    }
    void close() override {
        if (h_ == nullptr) return;
        api_->close(h_);
        h_ = nullptr;
    }

private:
    std::shared_ptr<const VendorD2xxBackend::Api> api_;
    FtHandle h_;
};

}  // namespace

const char* VendorD2xxBackend::defaultLibraryName() {
#if defined(_WIN32)
    return "Ftd2xx.dll";
#elif defined(__APPLE__)
    return "libftd2xx.dylib";
#else
    return "libftd2xx.so";
#endif
}

std::unique_ptr<VendorD2xxBackend> VendorD2xxBackend::load(const std::string& path, std::string* error) {
    auto library = std::make_unique<SharedLibrary>();
    std::string why;
    if (!library->load(path, why)) {
        if (error != nullptr) *error = why;
        return nullptr;
    }
    const SharedLibrary& module = *library;
    auto api = std::make_shared<Api>();
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
        return nullptr;
    }
    return std::unique_ptr<VendorD2xxBackend>(new VendorD2xxBackend(std::move(library), std::move(api)));
}

VendorD2xxBackend::VendorD2xxBackend(std::unique_ptr<SharedLibrary> library, std::shared_ptr<const Api> api)
    : library_(std::move(library)), api_(std::move(api)) {}

VendorD2xxBackend::~VendorD2xxBackend() {
    api_.reset();
    library_.reset();
}

std::vector<PodInfo> VendorD2xxBackend::enumerate() {
    std::vector<PodInfo> pods;
    std::uint32_t count = 0;
    if (api_->listDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) return pods;
    for (std::uint32_t i = 0; i < count && i < 256; ++i) {
        PodInfo pod;
        pod.description = listedText(*api_, i, FT_OPEN_BY_DESCRIPTION);
        pod.serialNumber = listedText(*api_, i, FT_OPEN_BY_SERIAL_NUMBER);
        std::uint32_t location = 0;
        if (api_->listDevices(indexArg(i), &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION) == FT_OK) {
            char text[24];
            std::snprintf(text, sizeof text, "usb-location:%X", static_cast<unsigned>(location));
            pod.devicePath = text;
        }
        pod.backend = "d2xx";
        pods.push_back(std::move(pod));
    }
    return pods;
}

std::unique_ptr<PodPort> VendorD2xxBackend::open(const PodInfo& pod) {
    // The serial number tells two pods apart; the description is the fallback
    // for adapters that report none.
    const bool bySerial = !pod.serialNumber.empty();
    std::string key = bySerial ? pod.serialNumber : pod.description;
    FtHandle handle = nullptr;
    if (api_->openEx(key.data(), bySerial ? FT_OPEN_BY_SERIAL_NUMBER : FT_OPEN_BY_DESCRIPTION, &handle) != FT_OK ||
        handle == nullptr) {
        return nullptr;
    }
    return std::make_unique<VendorPort>(api_, handle);
}

}  // namespace cvl
