#pragma once
// Several backends as one: their lists one after the other, and each pod
// opened by the backend that listed it (never by another with a device of
// the same description).

#include <memory>
#include <vector>

#include "pod/PodPort.h"

namespace cvl {

class BackendList : public PodBackend {
public:
    explicit BackendList(std::vector<std::unique_ptr<PodBackend>> backends) : backends_(std::move(backends)) {}

    std::vector<PodInfo> enumerate() override;
    std::unique_ptr<PodPort> open(const PodInfo& pod) override;

private:
    std::vector<std::unique_ptr<PodBackend>> backends_;
    std::vector<std::pair<PodInfo, PodBackend*>> listed_;
};

}  // namespace cvl
