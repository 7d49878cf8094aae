#pragma once
// Which listed pod a command uses, decided afresh from the pods listed at the
// moment the command starts: a remembered choice (by serial number) when that
// pod is still listed, the only pod when one is listed, otherwise the user
// must say which.

#include <string_view>
#include <vector>

#include "pod/PodPort.h"

namespace cvl {

struct PodChoice {
    enum class Kind {
        NoPod,   // nothing listed
        Chosen,  // pod is the one to use
        Ask,     // several listed and none (or no longer one) chosen
    };
    Kind kind = Kind::NoPod;
    PodInfo pod;
};

PodChoice choosePod(const std::vector<PodInfo>& listed, std::string_view rememberedSerial);

}  // namespace cvl
