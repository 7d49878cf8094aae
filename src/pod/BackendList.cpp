#include "pod/BackendList.h"

#include <algorithm>

namespace cvl {

std::vector<PodInfo> BackendList::enumerate() {
    listed_.clear();
    for (auto& backend : backends_) {
        for (PodInfo& pod : backend->enumerate()) {
            // Only a serial number tells that two listings are one pod.
            const auto same = std::find_if(listed_.begin(), listed_.end(), [&](const Listed& l) {
                return !pod.serialNumber.empty() && l.secondBackend == nullptr && l.firstBackend != backend.get() &&
                       l.first.serialNumber == pod.serialNumber && l.first.description == pod.description;
            });
            if (same != listed_.end()) {
                same->pod.alsoPath = pod.devicePath;
                same->pod.alsoBackend = pod.backend;
                same->second = std::move(pod);
                same->secondBackend = backend.get();
                continue;
            }
            listed_.push_back({pod, pod, backend.get(), {}, nullptr});
        }
    }
    std::vector<PodInfo> all;
    for (const Listed& l : listed_) all.push_back(l.pod);
    return all;
}

std::unique_ptr<PodPort> BackendList::open(const PodInfo& pod) {
    openFailure_.clear();
    for (const Listed& l : listed_) {
        if (l.pod != pod) continue;
        if (auto port = l.firstBackend->open(l.first)) return port;
        openFailure_ = l.firstBackend->openFailure();
        if (l.secondBackend == nullptr) return nullptr;
        auto port = l.secondBackend->open(l.second);
        if (!port) openFailure_ = l.secondBackend->openFailure();
        return port;
    }
    return nullptr;
}

}  // namespace cvl
