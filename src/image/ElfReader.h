#pragma once
// Reads a TI EABI ELF executable for the C28x (ELF32, little-endian,
// machine 141): every loadable segment with file data, placed at its load
// address (p_paddr), so code copied from flash to RAM at run time is
// programmed where it is stored, not where it runs. Addresses are word
// addresses; sizes and offsets are bytes.

#include <istream>
#include <string>

#include "common/Outcome.h"
#include "image/CoffImage.h"

namespace cvl {

// Ok, TooLarge, FileError, or a refusal (ElfNotC28x, ElfNotProgram,
// ElfDamaged) with detail.
OutcomeCode readElf(std::istream& in, CoffImage& image, std::string& detail);

}  // namespace cvl
