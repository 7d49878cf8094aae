#pragma once
// The formats a program file may have, with one table of their names: the
// name scripts see in JSON ("IntelHex") and the one a person reads ("Intel HEX").

#include <cstdint>
#include <string_view>

namespace cvl {

enum class ProgramFormat : std::uint8_t { None, Coff, Elf, IntelHex, Binary };

// "COFF", "ELF", "IntelHex", "Binary"; empty for None.
std::string_view formatName(ProgramFormat format);
// "COFF", "ELF", "Intel HEX", "raw binary"; empty for None.
std::string_view formatTitle(ProgramFormat format);

}  // namespace cvl
