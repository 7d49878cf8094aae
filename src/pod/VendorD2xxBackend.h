#pragma once
// FTDI's own D2XX library, loaded at run time (Ftd2xx.dll, libftd2xx.so or
// libftd2xx.dylib): lists its devices with description, serial number and
// location, and opens one by serial number (by description when it has none).

#include <memory>
#include <string>

#include "pod/PodPort.h"

namespace cvl {

class SharedLibrary;

class VendorD2xxBackend : public PodBackend {
public:
    // The library's file name on this system.
    static const char* defaultLibraryName();
    // Loads the library at path (a bare name is looked up the usual way);
    // nullptr when it is missing or lacks one of the functions.
    static std::unique_ptr<VendorD2xxBackend> load(const std::string& path, std::string* error = nullptr);
    ~VendorD2xxBackend() override;

    std::vector<PodInfo> enumerate() override;
    std::unique_ptr<PodPort> open(const PodInfo& pod) override;

    struct Api;

private:
    VendorD2xxBackend(std::unique_ptr<SharedLibrary> library, std::shared_ptr<const Api> api);
    std::unique_ptr<SharedLibrary> library_;
    std::shared_ptr<const Api> api_;
};

}  // namespace cvl
