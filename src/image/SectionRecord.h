#pragma once

#include <cstdint>
#include <string>

namespace cvl {

// One loaded section of the program image.
struct SectionRecord {
    std::string name;                // one leading underscore removed
    std::uint32_t lengthWords = 0;   // 16-bit words
    std::uint32_t startAddress = 0;  // target word address of the first word
    // While reading: offset of the data in the image buffer. After summarize(),
    // a flash section's offset within the flash stream; RAM sections keep the
    // buffer offset.
    std::uint32_t streamOffset = 0;
    const std::uint8_t* data = nullptr;  // lengthWords words, little-endian, in the image buffer
    bool inFlash = false;
    std::uint16_t sectorMask = 0;

    // Word i of the section as the file stores it (little-endian).
    std::uint16_t word(std::uint32_t i) const {
        return static_cast<std::uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
};

}  // namespace cvl
