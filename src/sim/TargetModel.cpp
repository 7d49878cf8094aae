#include "sim/TargetModel.h"

#include <algorithm>

#include "sim/AtomicFile.h"

namespace cvl::sim {

TargetModel::TargetModel(McuType device)
    : device_(mcuInfo(device) != nullptr ? device : kDefaultMcu),
      info_(mcuInfo(device_)),
      flash_(kFlashEnd + 1 - info_->flashStart, 0xFFFF) {}

bool TargetModel::eraseSector(std::uint16_t bit) {
    for (std::uint8_t i = 0; i < info_->sectorCount; ++i) {
        if (bit != (1u << i)) continue;
        const std::uint32_t last = kFlashEnd - i * info_->sectorWords;
        const std::uint32_t first = last - info_->sectorWords + 1;
        std::fill(flash_.begin() + (first - flashStart()), flash_.begin() + (last - flashStart()) + 1, 0xFFFF);
        return true;
    }
    return false;
}

CsmKeys TargetModel::password() const {
    CsmKeys keys;
    for (std::uint32_t i = 0; i < 8; ++i) keys.words[i] = flashWord(kCsmPasswordAddress + i);
    return keys;
}

bool TargetModel::unlocks(const CsmKeys& keys) const {
    const CsmKeys pw = password();
    return pw == CsmKeys{} || pw == keys;
}

std::vector<std::uint8_t> TargetModel::flashBytes() const {
    std::vector<std::uint8_t> out;
    out.reserve(flash_.size() * 2);
    for (std::uint16_t w : flash_) {
        out.push_back(static_cast<std::uint8_t>(w));
        out.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return out;
}

bool TargetModel::setFlashBytes(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != flash_.size() * 2) return false;
    for (std::size_t i = 0; i < flash_.size(); ++i) {
        flash_[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return true;
}

bool TargetModel::loadFlashFile(const std::string& path, std::string& error) {
    std::vector<std::uint8_t> bytes;
    const ReadResult read = readWholeFile(path, flash_.size() * 2, bytes, error);
    if (read == ReadResult::Missing) return true;  // a new board: erased flash
    if (read == ReadResult::Failed) return false;
    if (!setFlashBytes(bytes)) {
        error = path + ": expected " + std::to_string(flash_.size() * 2) + " bytes of flash for " + info_->shortName +
                ", found " + std::to_string(bytes.size());
        return false;
    }
    return true;
}

bool TargetModel::saveFlashFile(const std::string& path, std::string& error) const {
    return writeFileAtomically(path, flashBytes(), error);
}

}  // namespace cvl::sim
