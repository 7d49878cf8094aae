#pragma once
// What a command returns: its code, the line it showed last, the elapsed
// time of the long commands, and the figures a script may want.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "common/Outcome.h"
#include "image/CoffImage.h"
#include "pod/PodPort.h"
#include "pod/TargetProgrammer.h"

namespace cvl {

// The program a command used, as loaded for the device.
struct ProgramFigures {
    bool loaded = false;
    std::string fileName;
    std::int32_t sectionCount = 0;
    std::uint16_t flashSectionCount = 0;
    std::uint32_t flashBytes = 0;
    std::uint16_t ramSectionCount = 0;
    std::uint32_t ramBytes = 0;
    std::uint8_t eraseMask = 0;
};

struct CommandOutcome {
    OutcomeCode code = OutcomeCode::Ok;
    std::string message;  // the last line the command showed
    // How long a long command took, when the clock could be read.
    std::optional<std::chrono::milliseconds> elapsed;
    std::optional<ProgramFigures> program;
    std::optional<PodInfo> pod;               // the pod the command opened
    std::optional<std::uint16_t> podVersion;  // POD Info
    std::string podFileName;                  // POD Write: the name it stores
    PhaseTimes phases;                        // Target Write: the time of each step

    bool ok() const { return code == OutcomeCode::Ok; }
};

ProgramFigures programFigures(const CoffImage& image, bool eraseAll);

}  // namespace cvl
