#include "pod/SystemBackends.h"

#include <vector>

#include "pod/BackendList.h"
#include "pod/VendorD2xxBackend.h"
#if defined(__linux__)
#include "pod/SerialTtyBackend.h"
#elif defined(_WIN32)
#include "pod/ComPortBackend.h"
#endif

namespace cvl {

namespace {

std::unique_ptr<PodBackend> load(const std::vector<std::string>& ports) {
    std::vector<std::unique_ptr<PodBackend>> backends;
    if (auto vendor = VendorD2xxBackend::load(VendorD2xxBackend::defaultLibraryName())) {
        backends.push_back(std::move(vendor));
    }
#if defined(__linux__)
    (void)ports;
    backends.push_back(std::make_unique<SerialTtyBackend>());
#elif defined(_WIN32)
    backends.push_back(std::make_unique<ComPortBackend>(ports));
#else
    (void)ports;
#endif
    if (backends.empty()) return nullptr;
    return std::make_unique<BackendList>(std::move(backends));
}

}  // namespace

std::unique_ptr<PodBackend> loadSystemBackends() { return load({}); }

PodLink::BackendLoader systemBackendsNaming(std::vector<std::string> ports) {
    return [ports = std::move(ports)] { return load(ports); };
}

std::string podAdvice([[maybe_unused]] const PodInfo& pod) {
#if defined(_WIN32)
    if (pod.backend != ComPortBackend::kBackend) return "";
    const auto ms = comPortLatencyMs(pod.devicePath);
    if (!ms || *ms <= 2) return "";
    return pod.devicePath + ": the FTDI latency timer is " + std::to_string(*ms) +
           " ms, which slows every reply: set it to 1 ms in Device Manager (Ports, " + pod.devicePath +
           ", Port Settings, Advanced, Latency Timer)";
#else
    return "";
#endif
}

}  // namespace cvl
