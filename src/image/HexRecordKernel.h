#pragma once
// Decodes the record hex2000 writes on almost every line, a data record of
// 0x20 bytes (":20AAAA00" + 64 digits + checksum), with vector instructions:
// checking its digits and checksum and byte-swapping its sixteen words in a
// few dozen instructions instead of one table look-up per character.
// Any other line is left to the general record parser.

#include <cstddef>
#include <cstdint>

namespace cvl {

// Bytes of data in the record the kernel decodes.
constexpr std::size_t kFullRecordBytes = 0x20;
// Characters the kernel may look at from the start of a line.
constexpr std::size_t kFullRecordWindow = 77;

// True when this processor runs the kernel; without it every line takes the
// general parser.
bool fullRecordKernelAvailable();

// Decodes consecutive well-formed full data records ending in LF or CR LF
// from the start of text[0, length): their words little-endian to out and
// each one's word offset to offsets. Stops at the first line that is not
// one, at the last kFullRecordWindow characters, when out has no room for
// another or after `most` records. Returns the records decoded; `taken` is
// the characters they span, line ends included.
std::size_t decodeFullRecords(const char* text, std::size_t length, std::uint8_t* out, std::size_t room,
                              std::uint16_t* offsets, std::size_t most, std::size_t& taken);

}  // namespace cvl
