#pragma once
// Builds the image's sections from blocks of words at word addresses, for
// the readers of formats that have no sections of their own (Intel HEX, raw
// binary) or whose loadable parts are segments (ELF). Blocks are sorted by
// address; two that overlap are refused; adjacent ones join.

#include <cstdint>
#include <string>
#include <vector>

#include "common/Outcome.h"
#include "image/CoffImage.h"

namespace cvl {

struct ProgramBlock {
    std::uint32_t address = 0;  // word address of the first word
    std::uint32_t words = 0;
    std::uint64_t source = 0;  // where the reader finds the data (its own meaning)
    std::string name;          // empty: named after its address
    bool joinable = true;      // may merge with the block right after it
};

// Fills one word's two bytes: the reader's decoder for block data.
class BlockDecoder {
public:
    virtual ~BlockDecoder() = default;
    // Writes block.words words, little-endian, to out; false on a read failure.
    virtual bool decode(const ProgramBlock& block, std::uint8_t* out) = 0;
};

// Ok, or TooLarge, or refused (with detail) for overlapping blocks; a decode
// failure gives failure.
OutcomeCode buildSections(std::vector<ProgramBlock> blocks, BlockDecoder& decoder, CoffImage& image,
                          OutcomeCode failure, std::string& detail);

}  // namespace cvl
