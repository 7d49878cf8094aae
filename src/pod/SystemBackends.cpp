#include "pod/SystemBackends.h"

#include <vector>

#include "pod/BackendList.h"
#include "pod/VendorD2xxBackend.h"
#if defined(__linux__)
#include "pod/PodDirectory.h"
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

std::vector<std::string> backendWarnings() {
#if defined(__linux__)
    const std::string problem = podDirectoryProblem();
    if (!problem.empty()) return {problem};
#endif
    return {};
}

std::string podConnectionHelp() {
#if defined(_WIN32)
    return "The pod is the USB device described as \"Corvexlink POD\": found through FTDI's D2XX\n"
           "library (Ftd2xx.dll) when its driver is installed, else as the COM port of FTDI's\n"
           "virtual COM port driver. --pod COM5 (or \\\\.\\COM5, any case) names a port the system\n"
           "reports no description for; it is used once it answers the pod's handshake.\n";
#else
    return "The pod is the USB device described as \"Corvexlink POD\": found through FTDI's D2XX\n"
           "library when it is installed, the kernel's ftdi_sio driver (/dev/ttyUSB*), or a running\n"
           "corvexlink-podsim.\n";
#endif
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
