#include "image/ImageChecks.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace cvl {

OutcomeCode checkTargetImage(const CoffImage& image) {
    if (image.sectionCount() <= 0 || image.totalBytes == 0) return OutcomeCode::NoSectionData;
    return OutcomeCode::Ok;
}

OutcomeCode checkPodImage(const CoffImage& image) {
    if (const OutcomeCode failed = checkTargetImage(image); failed != OutcomeCode::Ok) return failed;
    if (image.summary.flashSectionCount > kPodMaxSections) return OutcomeCode::TooManySections;
    if (image.summary.flashBytes > kPodMaxBytes) return OutcomeCode::TooMuchData;
    if (image.summary.hasFlashSection == 0) return OutcomeCode::NoFlashSection;
    return OutcomeCode::Ok;
}

namespace {
constexpr std::uint32_t kCsmReservedStart = 0x33FF80;
constexpr std::uint32_t kCsmReservedEnd = 0x33FFF5;

std::string hexAddress(std::uint32_t a) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", a);
    return text;
}

// The word the program writes at address, if any of its flash sections covers it.
std::optional<std::uint16_t> flashWordAt(const CoffImage& image, std::uint32_t address) {
    for (const SectionRecord& s : image.sections) {
        if (s.inFlash != 0 && address >= s.startAddress && address - s.startAddress < s.lengthWords) {
            return s.word(address - s.startAddress);
        }
    }
    return std::nullopt;
}
}  // namespace

OutcomeCode checkPlacement(const CoffImage& image, std::string& detail) {
    if (image.mcuType == kAnyDevice) return OutcomeCode::Ok;  // nothing to check against
    const McuInfo* info = mcuInfo(image.mcuType);
    const std::string device = info != nullptr ? info->shortName : "selected MCU";
    std::vector<const SectionRecord*> flash;
    for (const SectionRecord& s : image.sections) {
        if (s.lengthWords == 0) continue;
        if (whollyInFlash(image.mcuType, s.startAddress, s.lengthWords)) {
            flash.push_back(&s);
        } else if (!whollyInBootRam(image.mcuType, s.startAddress, s.lengthWords)) {
            detail = "Section " + s.name + " (" + hexAddress(s.startAddress) + ", " + std::to_string(s.lengthWords) +
                     " words) lies outside the " + device + "'s flash and RAM";
            return OutcomeCode::SectionOutsideMemory;
        }
    }
    std::sort(flash.begin(), flash.end(),
              [](const SectionRecord* a, const SectionRecord* b) { return a->startAddress < b->startAddress; });
    for (std::size_t i = 1; i < flash.size(); ++i) {
        const SectionRecord& a = *flash[i - 1];
        const SectionRecord& b = *flash[i];
        if (std::uint64_t{a.startAddress} + a.lengthWords > b.startAddress) {
            detail = "Sections " + a.name + " and " + b.name + " overlap in flash at " + hexAddress(b.startAddress);
            return OutcomeCode::SectionsOverlap;
        }
    }
    return OutcomeCode::Ok;
}

std::array<std::uint16_t, 8> imagePassword(const CoffImage& image) {
    std::array<std::uint16_t, 8> words{};
    for (std::uint32_t i = 0; i < words.size(); ++i) {
        words[i] = flashWordAt(image, kCsmPasswordAddress + i).value_or(0xFFFF);
    }
    return words;
}

std::vector<std::string> imageWarnings(const CoffImage& image) {
    std::vector<std::string> warnings;
    if (image.summary.hasFlashSection && image.summary.ramSectionCount > 0) {
        std::string names;
        for (const SectionRecord& s : image.sections) {
            if (s.inFlash == 0) names += (names.empty() ? "" : ", ") + s.name;
        }
        warnings.push_back("Warning: RAM sections are not programmed and will not hold their data after reset: " +
                           names);
    }
    const auto password = imagePassword(image);
    const bool locks = std::any_of(password.begin(), password.end(), [](std::uint16_t w) { return w != 0xFFFF; });
    if (locks) {
        for (std::uint32_t a = kCsmReservedStart; a <= kCsmReservedEnd; ++a) {
            if (flashWordAt(image, a).value_or(0xFFFF) != 0) {
                warnings.push_back("Warning: the program sets a CSM password but the reserved words " +
                                   hexAddress(kCsmReservedStart) + "-" + hexAddress(kCsmReservedEnd) +
                                   " are not all zero");
                break;
            }
        }
    }
    return warnings;
}

}  // namespace cvl
