#pragma once
// A program's symbol table (TI COFF or ELF): for writing a serial number
// where the program keeps it, and for showing a user where one may go. A C
// name may be given with or without the leading underscore of the COFF C ABI.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

struct ProgramSymbol {
    std::string name;
    std::uint32_t address = 0;  // word address
    std::string section;        // the section that defines it
    // A function, or anything in a section of code (COFF STYP_TEXT, ELF
    // SHF_EXECINSTR): a number written there would overwrite instructions.
    bool code = false;
};

// Every defined symbol with a section; nothing, with error set, when the file
// is neither COFF nor ELF.
std::optional<std::vector<ProgramSymbol>> readSymbols(const std::string& path, std::string& error);

// The code section (COFF STYP_TEXT, ELF SHF_EXECINSTR) that holds address,
// if any: no number may be written there.
std::optional<std::string> codeSectionAt(const std::string& path, std::uint32_t address);

// The symbol called name; nothing, with error set, when the file has no such
// symbol, holds it with different values, or is neither COFF nor ELF.
std::optional<ProgramSymbol> findSymbol(const std::string& path, const std::string& name, std::string& error);

}  // namespace cvl
