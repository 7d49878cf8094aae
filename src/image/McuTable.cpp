#include "image/McuTable.h"

#include <array>
#include <charconv>
#include <cstring>

namespace cvl {

namespace {
// In selector order: the entry of a device is at its index.
constexpr std::array<McuInfo, kMcuCount> kTable{{
    {"F28332 - 100MHz (20MHz * 5)", "F28332", 1, 0x330000, 4, 0x4000, 0x0F, 0x00DFFF},
    {"F28334 - 150MHz (30MHz * 5)", "F28334", 2, 0x320000, 8, 0x4000, 0xFF, 0x00FFFF},
    {"F28335 - 150MHz (30MHz * 5)", "F28335", 3, 0x300000, 8, 0x8000, 0xFF, 0x00FFFF},
}};
}  // namespace

const McuInfo* mcuInfo(McuType device) {
    const auto i = static_cast<std::size_t>(mcuIndex(device));
    return i < kTable.size() ? &kTable[i] : nullptr;
}

std::optional<McuType> mcuFromName(const char* name) {
    for (McuType device : kMcuTypes) {
        if (std::strcmp(mcuInfo(device)->shortName, name) == 0) return device;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> parseWordAddress(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value >= kAddressSpaceWords) {
        return std::nullopt;
    }
    return value;
}

std::optional<McuType> mcuFromProtocolCode(unsigned code) {
    for (McuType device : kMcuTypes) {
        if (mcuInfo(device)->protocolCode == code) return device;
    }
    return std::nullopt;
}

std::optional<SectorHit> sectorOf(McuType device, std::uint32_t address) {
    const McuInfo* info = mcuInfo(device);
    if (info == nullptr) return std::nullopt;
    for (std::uint8_t i = 0; i < info->sectorCount; ++i) {
        const std::uint32_t last = kFlashEnd - i * info->sectorWords;
        const std::uint32_t first = last - info->sectorWords + 1;
        if (address >= first && address <= last) {
            return SectorHit{static_cast<std::uint8_t>(1u << i), i};
        }
    }
    return std::nullopt;
}

namespace {
bool within(std::uint32_t start, std::uint32_t length, std::uint32_t first, std::uint32_t last) {
    const std::uint64_t end = std::uint64_t{start} + length;  // one past the last word
    return length > 0 && start >= first && end <= std::uint64_t{last} + 1;
}
}  // namespace

bool whollyInFlash(McuType device, std::uint32_t start, std::uint32_t length) {
    const McuInfo* info = mcuInfo(device);
    return info != nullptr && within(start, length, info->flashStart, kFlashEnd);
}

bool whollyInBootRam(McuType device, std::uint32_t start, std::uint32_t length) {
    const McuInfo* info = mcuInfo(device);
    return info != nullptr &&
           (within(start, length, kMRamStart, kMRamEnd) || within(start, length, kLRamStart, info->lRamEnd));
}

}  // namespace cvl
