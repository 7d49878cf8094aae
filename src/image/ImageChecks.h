#pragma once
// Checks a command makes on the image before using it. Each returns the
// failure to show, or Ok when the image passes.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Outcome.h"
#include "image/CoffImage.h"

namespace cvl {

inline constexpr std::uint16_t kPodMaxSections = 70;
inline constexpr std::uint32_t kPodMaxBytes = 0x80000;  // the pod's serial flash

// Valid section data only: what Target Write checks.
OutcomeCode checkTargetImage(const CoffImage& image);

// All four checks in order: what POD Write and POD Verify check.
OutcomeCode checkPodImage(const CoffImage& image);

// Every section must lie wholly in the device's flash or in RAM the boot
// loader can write, and no two sections may overlap in flash. Ok, or
// SectionOutsideMemory / SectionsOverlap with detail naming the sections.
OutcomeCode checkPlacement(const CoffImage& image, std::string& detail);

// What the user should know about a loaded program that is not a reason to
// refuse it: RAM sections a flash write leaves out, a CSM password set
// without the reserved words zeroed.
std::vector<std::string> imageWarnings(const CoffImage& image);

// The CSM password words the program writes (0xFFFF where it writes none).
std::array<std::uint16_t, 8> imagePassword(const CoffImage& image);

}  // namespace cvl
