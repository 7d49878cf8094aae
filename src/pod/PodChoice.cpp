#include "pod/PodChoice.h"

#include <algorithm>

#include "common/Text.h"

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

std::string podDescription(const PodInfo& pod) {
    return escapeControls((pod.serialNumber.empty() ? std::string("(no serial number)") : pod.serialNumber) + " at " +
                          pod.devicePath + " (" + pod.backend + ")");
}

std::string connectionMessage(const PodInfo& pod) {
    std::string text = "Connection to Corvexlink POD is successful";
    if (!pod.serialNumber.empty()) text += " (" + escapeControls(pod.serialNumber) + ")";
    return text;
}

namespace {
std::string listOf(const std::vector<PodInfo>& pods) {
    std::string text;
    for (const PodInfo& p : pods) text += (text.empty() ? "" : "; ") + podDescription(p);
    return text;
}
}  // namespace

PodMatch matchPods(const std::vector<PodInfo>& listed, const std::vector<std::string>& names) {
    PodMatch match;
    if (names.empty()) {
        if (listed.size() == 1) {
            match.pods = listed;
        } else if (listed.empty()) {
            match.code = OutcomeCode::PodNotFound;
        } else {
            match.code = OutcomeCode::PodChoiceAmbiguous;
            match.detail = listOf(listed);
        }
        return match;
    }
    for (const std::string& name : names) {
        std::vector<PodInfo> found;
        for (const PodInfo& p : listed) {
            if (p.serialNumber == name || p.devicePath == name) found.push_back(p);
        }
        if (found.size() != 1) {
            match.code = found.empty() ? OutcomeCode::PodNotListed : OutcomeCode::PodChoiceAmbiguous;
            match.detail =
                found.empty() ? escapeControls(name) : "--pod " + escapeControls(name) + " matches " + listOf(found);
            match.pods.clear();
            return match;
        }
        if (std::find(match.pods.begin(), match.pods.end(), found.front()) == match.pods.end())
            match.pods.push_back(found.front());
    }
    return match;
}

}  // namespace cvl
