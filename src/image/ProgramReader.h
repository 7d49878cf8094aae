#pragma once
// Reads any program file a C2000 build produces into the image: TI COFF,
// TI EABI ELF, Intel HEX (16-bit ROM width) or a raw binary. The format is
// found from the content, never the name; a raw binary (which has no mark
// of its own) is read only when its load address is given.

#include <cstdint>
#include <optional>
#include <string>

#include "common/Outcome.h"
#include "image/CoffImage.h"

namespace cvl {

struct ReadOptions {
    std::optional<std::uint32_t> binaryBase;  // word address of a raw binary's first word
    // A file no reader recognises asks for its base address (the command
    // line, where --base gives it) instead of being "not COFF" (the window).
    bool unknownNeedsBase = false;
};

// On Ok the image holds the sections, totalBytes and format; otherwise the
// caller clears it. detail, when set, says more than the code's message.
OutcomeCode readProgram(const std::string& path, CoffImage& image, const ReadOptions& options, std::string& detail);

}  // namespace cvl
