#pragma once
// Writes the image back out: Intel HEX as TI's hex conversion utility writes
// it for a 16-bit ROM width (word addresses, each word high byte first,
// 0x20-byte records from the start of every block, an extended linear
// address record wherever the upper 16 address bits change), or a raw
// binary of little-endian words from the lowest address to the highest,
// gaps filled with 0xFFFF (erased flash).

#include <cstdint>
#include <optional>
#include <string>

#include "image/CoffImage.h"

namespace cvl {

// A binary's gaps are filled: blocks further apart than this are refused.
inline constexpr std::uint64_t kMaxBinaryBytes = 2 * CoffImage::kBufferBytes;

std::string intelHexText(const CoffImage& image);
// Nothing when the blocks lie too far apart for one binary.
std::optional<std::string> rawBinaryBytes(const CoffImage& image);

}  // namespace cvl
