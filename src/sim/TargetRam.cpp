#include "sim/TargetRam.h"

#include <stdexcept>

namespace cvl::sim {

void TargetRam::write(std::uint32_t address, std::uint16_t value) {
    auto& page = pages_[address / kPageWords];
    if (!page) page = std::make_unique<Page>();
    const std::uint32_t i = address % kPageWords;
    std::uint64_t& bits = page->present[i / 64];
    const std::uint64_t bit = std::uint64_t{1} << (i % 64);
    if ((bits & bit) == 0) ++written_;
    bits |= bit;
    page->words[i] = value;
}

std::uint16_t TargetRam::at(std::uint32_t address) const {
    const auto it = pages_.find(address / kPageWords);
    const std::uint32_t i = address % kPageWords;
    if (it == pages_.end() || (it->second->present[i / 64] & (std::uint64_t{1} << (i % 64))) == 0) {
        throw std::out_of_range("RAM word never written");
    }
    return it->second->words[i];
}

}  // namespace cvl::sim
