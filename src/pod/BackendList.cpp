#include "pod/BackendList.h"

namespace cvl {

std::vector<PodInfo> BackendList::enumerate() {
    listed_.clear();
    std::vector<PodInfo> all;
    for (auto& backend : backends_) {
        for (PodInfo& pod : backend->enumerate()) {
            listed_.emplace_back(pod, backend.get());
            all.push_back(std::move(pod));
        }
    }
    return all;
}

std::unique_ptr<PodPort> BackendList::open(const PodInfo& pod) {
    for (const auto& [info, backend] : listed_) {
        if (info == pod) return backend->open(pod);
    }
    return nullptr;
}

}  // namespace cvl
