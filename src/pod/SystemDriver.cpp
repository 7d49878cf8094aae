#include "SystemDriver.h"

#include <vector>

#include "CompositeDriver.h"
#include "VendorD2xxDriver.h"
#if defined(__linux__)
#include "SerialTtyDriver.h"
#endif

namespace cvl {

std::unique_ptr<FtdiDriver> loadSystemDriver() {
    std::vector<std::unique_ptr<FtdiDriver>> backends;
    if (auto vendor = VendorD2xxDriver::load(VendorD2xxDriver::defaultLibraryName())) {
        backends.push_back(std::move(vendor));
    }
#if defined(__linux__)
    backends.push_back(std::make_unique<SerialTtyDriver>());
#endif
    if (backends.empty()) return nullptr;
    return std::make_unique<CompositeDriver>(std::move(backends));
}

}  // namespace cvl
