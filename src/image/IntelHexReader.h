#pragma once
// Reads Intel HEX as TI's hex conversion utility writes it for a 16-bit ROM
// width: record addresses are word addresses, each word high byte first.
// Record types 00 (data), 01 (end), 02 and 04 (segment and linear base),
// 03 and 05 (start address, ignored); LF or CRLF lines.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Outcome.h"
#include "image/CoffImage.h"

namespace cvl {

class HexText;

struct HexReadOptions {
    // Parts the text is cut into, and threads that read them; 0 lets the
    // reader choose from the size and the processor count. Any numbers give
    // the same result.
    unsigned parts = 0;
    unsigned threads = 0;
    // Whether full data records may take the vector decoder (where the
    // processor has it); the result is the same without.
    bool vectorDecoder = true;
};

// Ok, TooLarge, FileError, MemoryError, HexDamaged or HexByteLane (detail says
// where and why). The image's records are cleared first.
OutcomeCode readIntelHex(const HexText& text, CoffImage& image, std::string& detail, HexReadOptions options = {});
OutcomeCode readIntelHex(std::string_view text, CoffImage& image, std::string& detail, HexReadOptions options = {});

}  // namespace cvl
