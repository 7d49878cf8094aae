#pragma once
// Programming the target through the pod: SCI boot, then either the RAM boot
// stream or flash algorithm, initialisation, erase, block programming and reset.

#include <cstdint>

#include "common/Clock.h"
#include "common/Outcome.h"
#include "common/StatusSink.h"
#include "image/CoffImage.h"
#include "pod/DataBatch.h"
#include "pod/PodCommands.h"

namespace cvl {

enum class FlashOpCode : std::uint8_t { InitFlash = 0, EraseSector = 1, ProgramBlock = 2 };

inline constexpr std::uint32_t kFlashBlockWords = 40;
inline constexpr std::uint32_t kBootBlockWords = 200;

// How long each step of a write took, in milliseconds (0 for steps not run).
struct PhaseTimes {
    double boot = 0, algorithm = 0, flashInit = 0, erase = 0, program = 0, reset = 0;
};

// How a Target Write runs: into flash (or, for a program without flash
// sections, streamed into RAM), erasing every sector or only the program's,
// with or without the CSM keys.
struct WriteOptions {
    bool flash = true;
    bool eraseAll = false;
    bool csm = false;
};

class TargetProgrammer {
public:
    TargetProgrammer(PodLink& link, StatusSink& status, const CoffImage& image, const CsmKeys& keys)
        : link_(link), status_(status), image_(image), keys_(keys) {}

    // Ok, or the step that failed: SciBootFailed, UserProgramFailed,
    // AlgorithmFailed, FlashInitFailed, EraseFailed, WriteFailed, ResetFailed.
    OutcomeCode runTargetWrite(const WriteOptions& options);

    // Times the steps of runTargetWrite on clock (for the programming log).
    void timePhasesWith(Clock& clock) { clock_ = &clock; }
    const PhaseTimes& phaseTimes() const { return phases_; }

    bool startSciBoot(const WriteOptions& options);
    bool downloadFlashAlgorithm(bool csm);
    bool flashOperation(FlashOpCode code, std::uint32_t limitMs, std::uint32_t address, std::uint16_t value);
    bool eraseFlash(bool eraseAll);
    bool writeFlash();
    bool writeFlashSection(const SectionRecord& section);
    bool downloadUserProgram();
    bool sendRamSection(const SectionRecord& section, bool last);

private:
    PodLink& link_;
    StatusSink& status_;
    const CoffImage& image_;
    const CsmKeys& keys_;
    DataBatch batch_;
    Clock* clock_ = nullptr;
    PhaseTimes phases_;
    std::uint64_t phaseStartUs_ = 0;
    // Adds the time since the last mark to phase.
    void mark(double& phase);
};

}  // namespace cvl
