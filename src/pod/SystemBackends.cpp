#include "pod/SystemBackends.h"

#include <vector>

#include "pod/BackendList.h"
#include "pod/VendorD2xxBackend.h"
#if defined(__linux__)
#include "pod/SerialTtyBackend.h"
#endif

namespace cvl {

std::unique_ptr<PodBackend> loadSystemBackends() {
    std::vector<std::unique_ptr<PodBackend>> backends;
    if (auto vendor = VendorD2xxBackend::load(VendorD2xxBackend::defaultLibraryName())) {
        backends.push_back(std::move(vendor));
    }
#if defined(__linux__)
    backends.push_back(std::make_unique<SerialTtyBackend>());
#endif
    if (backends.empty()) return nullptr;
    return std::make_unique<BackendList>(std::move(backends));
}

}  // namespace cvl
