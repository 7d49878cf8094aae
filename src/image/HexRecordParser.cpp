#include "image/HexRecordParser.h"

#include <array>

namespace cvl {

namespace {

// Digit values, 16 for anything that is not a hexadecimal digit.
constexpr std::array<std::uint8_t, 256> kDigit = [] {
    std::array<std::uint8_t, 256> t{};
    for (auto& v : t) v = 16;
    for (int c = 0; c < 10; ++c) t['0' + c] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c) t['A' + c] = t['a' + c] = static_cast<std::uint8_t>(10 + c);
    return t;
}();

// The byte at line[pos..pos+2), or -1.
int hexByte(std::string_view line, std::size_t pos) {
    const unsigned hi = kDigit[static_cast<std::uint8_t>(line[pos])];
    const unsigned lo = kDigit[static_cast<std::uint8_t>(line[pos + 1])];
    return (hi | lo) > 15 ? -1 : static_cast<int>((hi << 4) | lo);
}

}  // namespace

const char* parseHexRecord(std::string_view line, HexRecord& record, std::uint8_t* words, std::size_t room,
                           bool& fits) {
    fits = true;
    if (line.size() > kMaxHexLineChars || line[0] != ':' || line.size() < 11 || (line.size() - 1) % 2 != 0) {
        return "not an Intel HEX record";
    }
    const int count = hexByte(line, 1);
    if (count < 0 || line.size() != 11 + 2 * static_cast<std::size_t>(count)) {
        return "the byte count does not match the record";
    }
    unsigned sum = 0;
    std::uint8_t bytes[260];
    for (std::size_t i = 1, k = 0; i < line.size(); i += 2, ++k) {
        const int b = hexByte(line, i);
        if (b < 0) return "not a hexadecimal digit";
        bytes[k] = static_cast<std::uint8_t>(b);
        sum += static_cast<unsigned>(b);
    }
    if ((sum & 0xFF) != 0) return "checksum error";
    record.count = bytes[0];
    record.offset = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
    const std::uint32_t field = count >= 2 ? static_cast<std::uint32_t>(bytes[4] << 8 | bytes[5]) : 0;
    switch (bytes[3]) {
        case 0:
            if (count % 2 != 0) return "an odd number of bytes: not 16-bit words";
            record.kind = count == 0 ? HexRecord::Kind::Nothing : HexRecord::Kind::Data;
            fits = static_cast<std::size_t>(count) <= room;
            if (count == 0 || !fits) return nullptr;
            for (int k = 0; k < count; k += 2) {  // each word high byte first on the line
                words[k] = bytes[4 + k + 1];
                words[k + 1] = bytes[4 + k];
            }
            return nullptr;
        case 1:
            record.kind = HexRecord::Kind::End;
            return nullptr;
        case 2:
            if (count != 2) return "a segment address record of another length";
            record.kind = HexRecord::Kind::Base;
            record.base = field << 4;
            record.segment = true;
            return nullptr;
        case 4:
            if (count != 2) return "a linear address record of another length";
            record.kind = HexRecord::Kind::Base;
            record.base = field << 16;
            record.segment = false;
            return nullptr;
        case 3:
        case 5:
            record.kind = HexRecord::Kind::Nothing;  // a start address: nothing to load
            return nullptr;
        default:
            return "unknown record type";
    }
}

}  // namespace cvl
