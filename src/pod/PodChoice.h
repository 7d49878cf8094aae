#pragma once
// Which listed pod a command uses, decided afresh from the pods listed at the
// moment the command starts: a remembered choice (by serial number) when that
// pod is still listed, the only pod when one is listed and none was chosen
// before, otherwise the user must say which.

#include <string>
#include <string_view>
#include <vector>

#include "common/Outcome.h"
#include "pod/PodPort.h"

namespace cvl {

struct PodChoice {
    enum class Kind {
        NoPod,   // nothing listed
        Chosen,  // pod is the one to use
        Ask,     // several listed and none chosen, or the pod chosen before is not listed
    };
    Kind kind = Kind::NoPod;
    PodInfo pod;
};

PodChoice choosePod(const std::vector<PodInfo>& listed, std::string_view rememberedSerial);

// The pods that names (serial numbers or device paths, as a user gives them)
// pick out of the pods listed, each once, in the order named; with no names,
// the only pod listed. Refused (code and detail) when a name matches no pod
// or several, or when no name is given and the choice is not one pod.
struct PodMatch {
    std::vector<PodInfo> pods;
    OutcomeCode code = OutcomeCode::Ok;
    std::string detail;  // what the refusal concerns, control bytes escaped
};
PodMatch matchPods(const std::vector<PodInfo>& listed, const std::vector<std::string>& names);

// "SERIAL at PATH (backend)", control bytes escaped: how a pod is named to the user.
std::string podDescription(const PodInfo& pod);

// "COM5" for "COM5", "com5" or "\\.\COM5"; empty when text names no COM port.
std::string portNameOf(std::string_view text);
// Whether a user's name (serial number, device path, either path of a pod
// listed twice, a COM port in any of its forms) names the pod.
bool podIsNamed(const PodInfo& pod, const std::string& name);
// "Connection to Corvexlink POD is successful (SERIAL)": the line that says a pod was found.
std::string connectionMessage(const PodInfo& pod);

}  // namespace cvl
