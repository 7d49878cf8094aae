#pragma once
// Reads Intel HEX as TI's hex conversion utility writes it for a 16-bit ROM
// width: record addresses are word addresses, each word high byte first.
// Record types 00 (data), 01 (end), 02 and 04 (segment and linear base),
// 03 and 05 (start address, ignored); LF or CRLF lines, blank lines, a
// leading UTF-8 byte-order mark and a trailing Ctrl-Z (0x1A) after the end
// record are taken.

#include <string>
#include <string_view>

#include "common/Outcome.h"
#include "image/CoffImage.h"

namespace cvl {

// Ok, TooLarge, MemoryError, HexDamaged or HexByteLane (detail says where
// and why). The image's records are cleared first.
OutcomeCode readIntelHex(std::string_view text, CoffImage& image, std::string& detail);

}  // namespace cvl
