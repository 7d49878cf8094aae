#pragma once
// The F2833x target as the pod sees it: its flash (which programming can only
// clear bits of), its RAM as filled by the boot stream, and its CSM password.

#include <cstdint>
#include <string>
#include <vector>

#include "image/McuTable.h"
#include "pod/PodCommands.h"
#include "sim/TargetRam.h"

namespace cvl::sim {

class TargetModel {
public:
    explicit TargetModel(McuType device);

    McuType device() const { return device_; }
    std::uint32_t flashStart() const { return info_->flashStart; }
    bool inFlash(std::uint32_t address) const { return address >= flashStart() && address <= kFlashEnd; }

    std::uint16_t flashWord(std::uint32_t address) const { return flash_.at(address - flashStart()); }
    void setFlashWord(std::uint32_t address, std::uint16_t value) { flash_.at(address - flashStart()) = value; }
    // Programming: new = old AND data, as real flash does.
    void programWord(std::uint32_t address, std::uint16_t value) { flash_.at(address - flashStart()) &= value; }
    // Erases the sector with this bit; false when the device has no such sector.
    bool eraseSector(std::uint16_t bit);

    // The password words at 0x33FFF8..0x33FFFF.
    CsmKeys password() const;
    // Unlocked when the password is erased or the keys match it.
    bool unlocks(const CsmKeys& keys) const;

    TargetRam& ram() { return ram_; }
    const TargetRam& ram() const { return ram_; }

    // The whole flash range, two bytes a word, little-endian.
    std::vector<std::uint8_t> flashBytes() const;
    // False when the size does not match the device's flash.
    bool setFlashBytes(const std::vector<std::uint8_t>& bytes);
    bool loadFlashFile(const std::string& path, std::string& error);
    bool saveFlashFile(const std::string& path, std::string& error) const;

private:
    McuType device_;
    const McuInfo* info_;
    std::vector<std::uint16_t> flash_;
    TargetRam ram_;
};

}  // namespace cvl::sim
