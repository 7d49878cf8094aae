#pragma once
// Reads a linked TI COFF file (versions 0, 1 and 2, C28x target) into a CoffImage.

#include <cstdint>
#include <istream>
#include <string>

#include "image/CoffImage.h"

namespace cvl {

enum class CoffReadResult : std::uint8_t {
    Ok = 0,
    OpenFailed = 1,
    NotCoff = 2,
    WrongTarget = 3,
    FileError = 4,
    MemoryError = 5,
    TooLarge = 6,  // accepted sections need more than the 8 MiB image buffer
};

// Reads the file at path. On Ok the image holds the accepted sections and
// totalBytes; the summary is left to the caller. On any other result the image
// may be partly filled and the caller clears it.
CoffReadResult readCoff(const std::string& path, CoffImage& image);

// The same on an open binary stream positioned anywhere.
CoffReadResult readCoff(std::istream& in, CoffImage& image);
// The same, with what is wrong in words when the result is NotCoff.
CoffReadResult readCoff(std::istream& in, CoffImage& image, std::string& reason);

// Whether a file's first bytes carry a TI COFF version ID (or the C28x
// target ID of version 0): such a file is COFF, damaged or not, never a raw binary.
bool hasCoffSignature(const std::uint8_t* head, std::size_t size);

}  // namespace cvl
