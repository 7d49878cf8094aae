#pragma once
// Several backends as one: their lists one after the other, and each pod
// opened by the backend that listed it (never by another with a device of
// the same description). A pod two backends list with one serial number is
// one pod: listed once, by the first backend (the vendor library comes
// first), with the second one's path beside it, and opened through the
// first, or through the second when the first cannot open it.

#include <memory>
#include <vector>

#include "pod/PodPort.h"

namespace cvl {

class BackendList : public PodBackend {
public:
    explicit BackendList(std::vector<std::unique_ptr<PodBackend>> backends) : backends_(std::move(backends)) {}

    std::vector<PodInfo> enumerate() override;
    std::unique_ptr<PodPort> open(const PodInfo& pod) override;
    std::string openFailure() const override { return openFailure_; }

private:
    struct Listed {
        PodInfo pod;  // as this list offers it
        PodInfo first;
        PodBackend* firstBackend = nullptr;
        PodInfo second;  // the same pod through another backend, when listed so
        PodBackend* secondBackend = nullptr;
    };
    std::vector<std::unique_ptr<PodBackend>> backends_;
    std::vector<Listed> listed_;
    std::string openFailure_;
};

}  // namespace cvl
