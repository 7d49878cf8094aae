#include "pod/PodChoice.h"

#include <algorithm>

namespace cvl {

PodChoice choosePod(const std::vector<PodInfo>& listed, std::string_view rememberedSerial) {
    if (listed.empty()) return {};
    if (!rememberedSerial.empty()) {
        const auto matches = std::count_if(listed.begin(), listed.end(),
                                           [&](const PodInfo& p) { return p.serialNumber == rememberedSerial; });
        // Two pods that claim one serial number cannot be told apart by it.
        if (matches == 1) {
            const auto it = std::find_if(listed.begin(), listed.end(),
                                         [&](const PodInfo& p) { return p.serialNumber == rememberedSerial; });
            return {PodChoice::Kind::Chosen, *it};
        }
    }
    if (listed.size() == 1) return {PodChoice::Kind::Chosen, listed.front()};
    return {PodChoice::Kind::Ask, {}};
}

}  // namespace cvl
