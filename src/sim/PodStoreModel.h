#pragma once
// The pod's serial-flash store: one job (section table, data area, CSM
// password, tag, COFF information). Erased serial flash reads 0xFF.
//
// A write session (G ... H) erases the old job at its first write, so a job
// is either complete or absent: a session ended by abort (i), by a lost
// connection or by an unplug leaves the store empty, never half a job that
// could pass for a valid one.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace cvl::sim {

inline constexpr std::size_t kStoreSections = 70;
inline constexpr std::size_t kStoreDataBytes = 0x80000;
inline constexpr std::size_t kStorePageBytes = 264;

struct StoredSection {
    std::uint32_t start = 0xFFFFFF;
    std::uint32_t length = 0xFFFFFF;
    std::uint32_t offset = 0xFFFFFF;
};

struct PodStoreModel {
    bool hasProgram = false;
    std::uint8_t marker = 0xFF;  // 0x77 while a job is stored
    std::uint8_t device = 0xFF;
    std::uint8_t csmFlag = 0xFF;
    std::uint16_t eraseMask = 0xFFFF;
    std::uint8_t sectionCount = 0xFF;
    std::array<StoredSection, kStoreSections> sections{};
    std::array<std::uint16_t, 8> keys{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    std::array<std::uint8_t, 14> tag{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                     0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::vector<std::uint8_t> data = std::vector<std::uint8_t>(kStoreDataBytes, 0xFF);

    void erase() { *this = PodStoreModel{}; }

    // Binary file form; a missing file is an empty store.
    bool load(const std::string& path, std::string& error);
    bool save(const std::string& path, std::string& error) const;
};

}  // namespace cvl::sim
