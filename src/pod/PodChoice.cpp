#include "pod/PodChoice.h"

#include <algorithm>
#include <cctype>

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
        // The pod chosen before is gone: another is never taken without asking.
        return {PodChoice::Kind::Ask, {}};
    }
    if (listed.size() == 1) return {PodChoice::Kind::Chosen, listed.front()};
    return {PodChoice::Kind::Ask, {}};
}

std::string podDescription(const PodInfo& pod) {
    std::string text = (pod.serialNumber.empty() ? std::string("(no serial number)") : pod.serialNumber) + " at " +
                       pod.devicePath + " (" + pod.backend + ")";
    if (!pod.alsoPath.empty()) text += ", also at " + pod.alsoPath + " (" + pod.alsoBackend + ")";
    return escapeControls(text);
}

std::string portNameOf(std::string_view text) {
    std::string name(text.rfind("\\\\.\\", 0) == 0 ? text.substr(4) : text);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    if (name.size() < 4 || name.rfind("COM", 0) != 0) return "";
    if (!std::all_of(name.begin() + 3, name.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) return "";
    return name;
}

bool podIsNamed(const PodInfo& pod, const std::string& name) {
    if (pod.serialNumber == name || pod.devicePath == name || (!pod.alsoPath.empty() && pod.alsoPath == name))
        return true;
    // A COM port in any case, bare or in the device-path form.
    const std::string port = portNameOf(name);
    return !port.empty() && (portNameOf(pod.devicePath) == port || portNameOf(pod.alsoPath) == port);
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
            if (podIsNamed(p, name)) found.push_back(p);
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
