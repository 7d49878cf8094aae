#pragma once
// The CSM password as the user types it: eight texts of hexadecimal words.

#include <array>
#include <cstdint>
#include <string>

#include "pod/PodCommands.h"

namespace cvl {

// A key text's value: empty (or blank) gives 0xFFFF; otherwise the low 16
// bits of the hexadecimal number it starts with (sign and 0x allowed).
std::uint16_t parseKeyText(const std::string& text);

CsmKeys keysFromTexts(const std::array<std::string, 8>& texts);

// Eight zero words are refused: that password cannot unlock anything.
bool keysAllZero(const CsmKeys& keys);

}  // namespace cvl
