#pragma once
// One Intel HEX line as TI's hex conversion utility writes it for a 16-bit
// ROM width, checked on its own: the layout, every digit, the checksum, and
// what its record type allows. What a record means for the file as a whole
// (addresses, order, the end) is the reader's business.

#include <cstdint>
#include <string_view>

namespace cvl {

// Longest line with 255 data bytes: ':', 260 bytes as hex, CR.
constexpr std::size_t kMaxHexLineChars = 2 * (5 + 255) + 1 + 2;

struct HexRecord {
    enum class Kind : std::uint8_t {
        Data,     // count bytes of words at offset, decoded to the caller's buffer
        End,      // type 01
        Base,     // type 02 or 04: base is the new address base
        Nothing,  // a start address (03, 05) or a data record without data
    };
    Kind kind = Kind::Nothing;
    std::uint8_t count = 0;
    std::uint16_t offset = 0;
    std::uint32_t base = 0;
    bool segment = false;  // Base: a segment base (type 02), whose offsets wrap at 64 K
};

// Parses `line` (its line end removed, not empty). A data record's words go
// little-endian to `words` only when they fit in `room` bytes; `fits` tells.
// Returns null, or why the line is refused ("checksum error", ...).
const char* parseHexRecord(std::string_view line, HexRecord& record, std::uint8_t* words, std::size_t room, bool& fits);

}  // namespace cvl
