#pragma once
// Checks a command makes on the image before using it. Each returns the
// failure to show, or Ok when the image passes.

#include <cstdint>

#include "common/Outcome.h"
#include "image/CoffImage.h"

namespace cvl {

inline constexpr std::uint16_t kPodMaxSections = 70;
inline constexpr std::uint32_t kPodMaxBytes = 0x80000;  // the pod's serial flash

// Valid section data only: what Target Write checks.
OutcomeCode checkTargetImage(const CoffImage& image);

// All four checks in order: what POD Write and POD Verify check.
OutcomeCode checkPodImage(const CoffImage& image);

}  // namespace cvl
