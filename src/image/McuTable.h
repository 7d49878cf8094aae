#pragma once
// Memory map of the three supported F2833x devices: flash range and sectors.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace cvl {

// The device. Its value is its index in the MCU selector (and in the
// profile): 0 F28332, 1 F28334, 2 F28335. Any: no device memory map, every
// block is read and none classified (for programs of other C2000 devices).
enum class McuType : std::uint8_t { F28332 = 0, F28334 = 1, F28335 = 2, Any = 0xFE };

inline constexpr int kMcuCount = 3;
inline constexpr std::array<McuType, kMcuCount> kMcuTypes = {McuType::F28332, McuType::F28334, McuType::F28335};
inline constexpr McuType kDefaultMcu = McuType::F28335;
inline constexpr McuType kAnyDevice = McuType::Any;

// The selector's (and profile's) index of a device, and the device at an index.
constexpr int mcuIndex(McuType device) { return static_cast<int>(device); }
constexpr McuType mcuAtIndex(std::uint8_t index) { return static_cast<McuType>(index); }
inline constexpr std::uint32_t kFlashEnd = 0x33FFFF;
// Every C28x word address has 22 bits.
inline constexpr std::uint64_t kAddressSpaceWords = 0x400000;
// KEY0..KEY7 of the code security module live at 0x33FFF8 + n on every device.
inline constexpr std::uint32_t kCsmPasswordAddress = 0x33FFF8;

struct McuInfo {
    const char* selectorText;
    const char* shortName;
    std::uint8_t protocolCode;  // how the pod protocol names the device (boot frames, stored jobs)
    std::uint32_t flashStart;
    std::uint8_t sectorCount;
    std::uint32_t sectorWords;
    std::uint8_t fullEraseMask;
    std::uint32_t lRamEnd;  // last word of L0..L5 (F28332) or L0..L7 SARAM
};

// SARAM the SCI boot loader can write: M0 and M1, and L0 up to lRamEnd.
inline constexpr std::uint32_t kMRamStart = 0x000000;
inline constexpr std::uint32_t kMRamEnd = 0x0007FF;
inline constexpr std::uint32_t kLRamStart = 0x008000;

// Whether words [start, start + length) lie wholly in the device's flash, or
// wholly in RAM the boot loader can write.
bool whollyInFlash(McuType device, std::uint32_t start, std::uint32_t length);
bool whollyInBootRam(McuType device, std::uint32_t start, std::uint32_t length);

// Table entry for a device, or nullptr for an index outside 0..2.
const McuInfo* mcuInfo(McuType device);

// A word address as a user types it: always hexadecimal, with or without
// 0x ("80000" and "0x80000" are both 0x80000); nothing past 0x3FFFFF.
std::optional<std::uint32_t> parseWordAddress(std::string_view text);

// The device of a short name such as "F28335".
std::optional<McuType> mcuFromName(const char* name);
// The device the pod protocol names with code.
std::optional<McuType> mcuFromProtocolCode(unsigned code);

struct SectorHit {
    std::uint8_t bit;    // 0x01..0x80
    std::uint8_t index;  // 0..7, index 0 being the highest-addressed sector
};

// The sector holding a word address, or nothing when the address lies outside
// the device's sectors. Bounds are inclusive, tested from sector 0 downwards.
std::optional<SectorHit> sectorOf(McuType device, std::uint32_t address);

}  // namespace cvl
