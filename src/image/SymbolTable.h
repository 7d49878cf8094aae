#pragma once
// Looks a symbol up in a program's symbol table (TI COFF or ELF), for
// writing a serial number where the program keeps it. A C name may be given
// with or without the leading underscore of the COFF C ABI.

#include <cstdint>
#include <optional>
#include <string>

namespace cvl {

// The symbol's value (a word address); nothing, with error set, when the
// file has no such symbol, holds it with different values, or is neither
// COFF nor ELF.
std::optional<std::uint32_t> findSymbol(const std::string& path, const std::string& name, std::string& error);

}  // namespace cvl
