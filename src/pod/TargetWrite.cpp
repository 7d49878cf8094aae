#include "TargetWrite.h"

#include <algorithm>
#include <bit>

namespace cvl {

namespace {
constexpr std::uint32_t kBootLimitMs = 3000;
constexpr std::uint32_t kBootWithKeysLimitMs = 6000;
constexpr std::uint32_t kAlgorithmLimitMs = 10000;
constexpr std::uint32_t kInitLimitMs = 3000;
constexpr std::uint32_t kEraseLimitMs = 20000;
constexpr std::uint32_t kProgramLimitMs = 5000;
constexpr std::uint32_t kHeaderLimitMs = 3000;
constexpr std::uint32_t kLastWordLimitMs = 4000;
constexpr std::uint32_t kStreamEndLimitMs = 3000;

std::uint16_t swapBytes(std::uint16_t w) { return static_cast<std::uint16_t>((w << 8) | (w >> 8)); }
}  // namespace

std::string_view targetWriteMessage(TargetWriteResult result) {
    switch (result) {
        case TargetWriteResult::Success:
            return "";
        case TargetWriteResult::SciBootFailed:
            return "Fail to start SCI boot";
        case TargetWriteResult::UserProgramFailed:
            return "Fail to download user program";
        case TargetWriteResult::ResetFailed:
            return "Fail to reset target board";
        case TargetWriteResult::AlgorithmFailed:
            return "Fail to download flash algorithm code";
        case TargetWriteResult::FlashInitFailed:
            return "Fail to initialize target board for flash memory write";
        case TargetWriteResult::EraseFailed:
            return "Fail to erase flash memory";
        case TargetWriteResult::WriteFailed:
            return "Fail to write flash memory";
    }
    return "";
}

TargetWriteResult TargetProgrammer::runTargetWrite(bool flash, bool eraseAll, bool csm) {
    status_.showMessage("Starting SCI Boot...", false);
    if (!startSciBoot(csm, flash)) return TargetWriteResult::SciBootFailed;
    if (!flash) {
        status_.beginProgress(image_.summary.ramBytes / 2);
        status_.showMessage("Downloading User Program...", false);
        return downloadUserProgram() ? TargetWriteResult::Success : TargetWriteResult::UserProgramFailed;
    }
    status_.showMessage("Downloading Flash Algorithm Code [Max: 10 sec]...", false);
    if (!downloadFlashAlgorithm(csm)) return TargetWriteResult::AlgorithmFailed;
    status_.showMessage("Initializing target board for flash memory write...", false);
    if (!flashOperation(FlashOpCode::InitFlash, kInitLimitMs, 0, 0)) {
        link_.purgePod();
        if (!flashOperation(FlashOpCode::InitFlash, kInitLimitMs, 0, 0)) return TargetWriteResult::FlashInitFailed;
    }
    if (!eraseFlash(eraseAll)) return TargetWriteResult::EraseFailed;
    status_.beginProgress(image_.summary.flashBytes / 2);
    if (!writeFlash()) return TargetWriteResult::WriteFailed;
    if (!targetReset(link_)) return TargetWriteResult::ResetFailed;
    return TargetWriteResult::Success;
}

bool TargetProgrammer::startSciBoot(bool csm, bool flash) {
    const unsigned code = deviceCode(image_.mcuType);
    if (csm && !flash) {
        const std::string keys = keyText(keys_);
        return transact(link_, buildFrame(link_, "%cM%X%s%c", STX, code, keys.c_str(), ETX), 1, kBootWithKeysLimitMs);
    }
    return transact(link_, buildFrame(link_, "%cN%X%c", STX, code, ETX), 1, kBootLimitMs);
}

bool TargetProgrammer::downloadFlashAlgorithm(bool csm) {
    const std::string keys = keyText(csm ? keys_ : CsmKeys{});
    return transact(link_, buildFrame(link_, "%cK%X%s%c", STX, csm ? 1u : 0u, keys.c_str(), ETX), 1, kAlgorithmLimitMs);
}

bool TargetProgrammer::flashOperation(FlashOpCode code, std::uint32_t limitMs, std::uint32_t address,
                                      std::uint16_t value) {
    const unsigned op = static_cast<unsigned>(code);
    std::uint32_t size = 0;
    switch (code) {
        case FlashOpCode::InitFlash:
            size = buildFrame(link_, "%cO%02X%c", STX, op, ETX);
            break;
        case FlashOpCode::EraseSector:
            size = buildFrame(link_, "%cO%02X%04X%c", STX, op, value, ETX);
            break;
        case FlashOpCode::ProgramBlock:
            size = buildFrame(link_, "%cO%02X%06X%04X%c", STX, op, address, value, ETX);
            break;
        default:
            return true;
    }
    return transact(link_, size, 1, limitMs);
}

bool TargetProgrammer::eraseFlash(bool eraseAll) {
    const std::uint8_t mask = image_.eraseSectorMask(eraseAll);
    status_.showMessage("Erasing Flash Memory...", false);
    status_.beginProgress(static_cast<std::uint32_t>(std::popcount(mask)));
    for (unsigned i = 0; i < 8; ++i) {
        if ((mask & (1u << i)) == 0) continue;
        if (!flashOperation(FlashOpCode::EraseSector, kEraseLimitMs, 0, static_cast<std::uint16_t>(1u << i))) {
            return false;
        }
        status_.stepProgress();
    }
    return true;
}

bool TargetProgrammer::writeFlash() {
    status_.showMessage("Writing Flash Memory...", false);
    link_.pendingFrames.clear();
    for (const SectionRecord& s : image_.sections) {
        if (s.inFlash != 0 && !writeFlashSection(s)) return false;
    }
    return true;
}

bool TargetProgrammer::writeFlashSection(const SectionRecord& section) {
    std::uint32_t address = section.startAddress;
    std::uint32_t remaining = section.lengthWords;
    std::uint32_t next = 0;
    for (;;) {
        const std::uint32_t n = std::min(remaining, kFlashBlockWords);
        for (std::uint32_t k = 0; k < n; ++k) {
            if (!sendFlashWord(swapBytes(section.word(next++)), k + 1 == n)) return false;
            status_.stepProgress();
        }
        if (!flashOperation(FlashOpCode::ProgramBlock, kProgramLimitMs, address, static_cast<std::uint16_t>(n))) {
            return false;
        }
        if (remaining <= kFlashBlockWords) return true;
        remaining -= kFlashBlockWords;
        address += kFlashBlockWords;
    }
}

bool TargetProgrammer::sendFlashWord(std::uint16_t value, bool last) {
    char frame[8];
    std::snprintf(frame, sizeof frame, "%cS%04X%c", STX, value, ETX);
    link_.pendingFrames.append(frame, 7);
    if (last || link_.pendingFrames.size() >= kBatchBytes) return flushFrames(link_);
    return true;
}

bool TargetProgrammer::downloadUserProgram() {
    link_.pendingFrames.clear();
    unsigned k = 0;
    for (const SectionRecord& s : image_.sections) {
        if (s.inFlash != 0) continue;
        const bool last = k + 1u == image_.summary.ramSectionCount;
        ++k;
        if (!sendRamSection(s, last)) return false;
    }
    return true;
}

bool TargetProgrammer::sendRamSection(const SectionRecord& section, bool last) {
    std::uint32_t address = section.startAddress;
    std::uint32_t remaining = section.lengthWords;
    std::uint32_t next = 0;
    for (;;) {
        const std::uint32_t n = std::min(remaining, kBootBlockWords);
        if (!sendWord(link_, 'U', static_cast<std::uint16_t>(n), kHeaderLimitMs) ||
            !sendLong(link_, address, kHeaderLimitMs)) {
            return false;
        }
        for (std::uint32_t k = 0; k < n; ++k) {
            const bool lastOfBlock = k + 1 == n;
            if (!sendWord(link_, lastOfBlock ? 'Y' : 'S', section.word(next++), kLastWordLimitMs)) return false;
            status_.stepProgress();
        }
        if (remaining <= kBootBlockWords) break;
        remaining -= kBootBlockWords;
        address += kBootBlockWords;
    }
    if (last && !sendWord(link_, 'X', 0, kStreamEndLimitMs)) return false;
    return true;
}

}  // namespace cvl
