#pragma once
// Where a board's serial number goes in its copy of the program, and writing
// it there: a word address or a data symbol, in the program's flash, never in
// its code.

#include <cstdint>
#include <optional>
#include <string>

#include "image/CoffImage.h"

namespace cvl {

// The address text names: a hexadecimal word address (it starts with a digit,
// as no symbol does) or a data symbol of the program file; nothing, with
// error set, for code (a function, or anything in a code section).
std::optional<std::uint32_t> serialAddress(const std::string& program, const std::string& text, std::string& error);

// Whether the words a serial number takes lie in the image's flash sections.
bool serialFitsFlash(const CoffImage& image, std::uint32_t address, unsigned widthBits);
// Writes number at address (16 bits), or low word at address and high word
// at address + 1 (32 bits), in the image's flash sections; false when a word
// lies outside them.
bool writeSerialNumber(CoffImage& image, std::uint32_t address, unsigned widthBits, std::uint64_t number);

}  // namespace cvl
