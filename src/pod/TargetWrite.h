#pragma once
// Programming the target through the pod: SCI boot, then either the RAM boot
// stream or flash algorithm, initialisation, erase, block programming and reset.

#include <cstdint>
#include <string_view>

#include "CoffImage.h"
#include "PodCommands.h"
#include "StatusSink.h"

namespace cvl {

enum class TargetWriteResult : std::uint8_t {
    Success = 0,
    SciBootFailed = 1,
    UserProgramFailed = 2,
    ResetFailed = 3,
    AlgorithmFailed = 4,
    FlashInitFailed = 5,
    EraseFailed = 6,
    WriteFailed = 7,
};

enum class FlashOpCode : std::uint8_t { InitFlash = 0, EraseSector = 1, ProgramBlock = 2 };

inline constexpr std::uint32_t kFlashBlockWords = 40;
inline constexpr std::uint32_t kBootBlockWords = 200;

// The failure message of a result (empty for Success).
std::string_view targetWriteMessage(TargetWriteResult result);

class TargetProgrammer {
public:
    TargetProgrammer(PodLink& link, StatusSink& status, const CoffImage& image, const CsmKeys& keys)
        : link_(link), status_(status), image_(image), keys_(keys) {}

    TargetWriteResult runTargetWrite(bool flash, bool eraseAll, bool csm);

    bool startSciBoot(bool csm, bool flash);
    bool downloadFlashAlgorithm(bool csm);
    bool flashOperation(FlashOpCode code, std::uint32_t limitMs, std::uint32_t address, std::uint16_t value);
    bool eraseFlash(bool eraseAll);
    bool writeFlash();
    bool writeFlashSection(const SectionRecord& section);
    bool sendFlashWord(std::uint16_t value, bool last);
    bool downloadUserProgram();
    bool sendRamSection(const SectionRecord& section, bool last);

private:
    PodLink& link_;
    StatusSink& status_;
    const CoffImage& image_;
    const CsmKeys& keys_;
};

}  // namespace cvl
