#pragma once
// Builds small COFF files for reader tests: versions 0, 1 and 2, with or
// without optional header and symbol table, long names in a string table.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvl::test {

struct TestSection {
    std::string name;
    std::uint32_t address = 0;
    std::vector<std::uint16_t> words;
    std::uint32_t flags = 0x20;                 // code
    bool withData = true;                       // false: raw data position 0
    std::optional<std::uint32_t> sizeOverride;  // size field other than words.size()
    bool longName = false;                      // force the string-table form
};

struct CoffLayout {
    int version = 2;
    std::uint16_t targetId = 0x009D;
    std::uint16_t optionalHeaderSize = 0x1C;
    bool symbolTable = true;
    std::vector<TestSection> sections;
};

using Bytes = std::vector<std::uint8_t>;

Bytes buildCoff(const CoffLayout& layout);

void put16(Bytes& b, std::size_t at, std::uint16_t v);
void put32(Bytes& b, std::size_t at, std::uint32_t v);

// Writes bytes to a fresh file under the test temp folder and returns its path.
std::string writeTempFile(const std::string& name, const Bytes& bytes);

}  // namespace cvl::test
