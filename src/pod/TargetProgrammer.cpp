#include "pod/TargetProgrammer.h"

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
// Calls send(address, first word, count) for each block of at most
// blockWords words of the section in order (at least one block), until one
// fails.
template <typename Send>
bool inBlocks(const SectionRecord& section, std::uint32_t blockWords, Send send) {
    std::uint32_t first = 0;
    do {
        const std::uint32_t n = std::min(section.lengthWords - first, blockWords);
        if (!send(section.startAddress + first, first, n)) return false;
        first += n;
    } while (first < section.lengthWords);
    return true;
}

}  // namespace

void TargetProgrammer::mark(double& phase) {
    if (clock_ == nullptr) return;
    const std::uint64_t now = clock_->nowMicros();
    phase += static_cast<double>(now - phaseStartUs_) / 1000.0;
    phaseStartUs_ = now;
}

OutcomeCode TargetProgrammer::runTargetWrite(const WriteOptions& options) {
    const auto [flash, eraseAll, csm] = options;
    phases_ = PhaseTimes{};
    if (clock_ != nullptr) phaseStartUs_ = clock_->nowMicros();
    status_.showMessage("Starting SCI Boot...", false);
    const bool booted = startSciBoot(options);
    mark(phases_.boot);
    if (!booted) return OutcomeCode::SciBootFailed;
    if (!flash) {
        status_.beginProgress(image_.summary.ramBytes / 2);
        status_.showMessage("Downloading User Program...", false);
        const bool downloaded = downloadUserProgram();
        mark(phases_.program);
        return downloaded ? OutcomeCode::Ok : OutcomeCode::UserProgramFailed;
    }
    status_.showMessage("Downloading Flash Algorithm Code [Max: 10 sec]...", false);
    const bool algorithm = downloadFlashAlgorithm(csm);
    mark(phases_.algorithm);
    if (!algorithm) return OutcomeCode::AlgorithmFailed;
    status_.showMessage("Initializing target board for flash memory write...", false);
    bool initialised = flashOperation(FlashOpCode::InitFlash, kInitLimitMs, 0, 0);
    if (!initialised) {
        link_.purgePod();
        initialised = flashOperation(FlashOpCode::InitFlash, kInitLimitMs, 0, 0);
    }
    mark(phases_.flashInit);
    if (!initialised) return OutcomeCode::FlashInitFailed;
    const bool erased = eraseFlash(eraseAll);
    mark(phases_.erase);
    if (!erased) return OutcomeCode::EraseFailed;
    status_.beginProgress(image_.summary.flashBytes / 2);
    const bool written = writeFlash();
    mark(phases_.program);
    if (!written) return OutcomeCode::WriteFailed;
    const bool reset = targetReset(link_);
    mark(phases_.reset);
    return reset ? OutcomeCode::Ok : OutcomeCode::ResetFailed;
}

bool TargetProgrammer::startSciBoot(const WriteOptions& options) {
    const unsigned code = deviceCode(image_.mcuType);
    if (options.csm && !options.flash) {
        return link_.transact(Frame('M').hex(code, 1).text(keyText(keys_)), 1, kBootWithKeysLimitMs).has_value();
    }
    return link_.transact(Frame('N').hex(code, 1), 1, kBootLimitMs).has_value();
}

bool TargetProgrammer::downloadFlashAlgorithm(bool csm) {
    const Frame frame = Frame('K').hex(csm ? 1 : 0, 1).text(keyText(csm ? keys_ : CsmKeys{}));
    return link_.transact(frame, 1, kAlgorithmLimitMs).has_value();
}

bool TargetProgrammer::flashOperation(FlashOpCode code, std::uint32_t limitMs, std::uint32_t address,
                                      std::uint16_t value) {
    Frame frame('O');
    frame.hex(static_cast<unsigned>(code), 2);
    switch (code) {
        case FlashOpCode::InitFlash:
            break;
        case FlashOpCode::EraseSector:
            frame.hex(value, 4);
            break;
        case FlashOpCode::ProgramBlock:
            frame.hex(address, 6).hex(value, 4);
            break;
        default:
            return false;  // an operation the pod does not know is never sent
    }
    return link_.transact(frame, 1, limitMs).has_value();
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
    batch_ = DataBatch();
    for (const SectionRecord& s : image_.sections) {
        if (s.inFlash != 0 && !writeFlashSection(s)) return false;
    }
    return true;
}

bool TargetProgrammer::writeFlashSection(const SectionRecord& section) {
    return inBlocks(section, kFlashBlockWords, [&](std::uint32_t address, std::uint32_t first, std::uint32_t n) {
        for (std::uint32_t k = 0; k < n; ++k) {
            batch_.put('S', swapBytes(section.word(first + k)));
            if ((k + 1 == n || batch_.full()) && !batch_.flush(link_)) return false;
            status_.stepProgress();
        }
        return flashOperation(FlashOpCode::ProgramBlock, kProgramLimitMs, address, static_cast<std::uint16_t>(n));
    });
}

bool TargetProgrammer::downloadUserProgram() {
    batch_ = DataBatch();
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
    const bool sent =
        inBlocks(section, kBootBlockWords, [&](std::uint32_t address, std::uint32_t first, std::uint32_t n) {
            if (!sendWord(link_, batch_, 'U', static_cast<std::uint16_t>(n), kHeaderLimitMs) ||
                !sendLong(link_, batch_, address, kHeaderLimitMs)) {
                return false;
            }
            for (std::uint32_t k = 0; k < n; ++k) {
                const bool lastOfBlock = k + 1 == n;
                if (!sendWord(link_, batch_, lastOfBlock ? 'Y' : 'S', section.word(first + k), kLastWordLimitMs))
                    return false;
                status_.stepProgress();
            }
            return true;
        });
    return sent && (!last || sendWord(link_, batch_, 'X', 0, kStreamEndLimitMs));
}

}  // namespace cvl
