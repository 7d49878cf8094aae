#pragma once
// The target's RAM as the boot stream fills it: 4 Ki-word pages made on
// first write, so an 8 MiB stream costs about 8 MiB, not a map node a word.

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>

namespace cvl::sim {

class TargetRam {
public:
    void write(std::uint32_t address, std::uint16_t value);
    // The word at address; throws std::out_of_range when it was never written.
    std::uint16_t at(std::uint32_t address) const;
    // Words written so far.
    std::size_t size() const { return written_; }

private:
    static constexpr std::uint32_t kPageWords = 4096;
    struct Page {
        std::array<std::uint16_t, kPageWords> words{};
        std::array<std::uint64_t, kPageWords / 64> present{};
    };
    std::unordered_map<std::uint32_t, std::unique_ptr<Page>> pages_;
    std::size_t written_ = 0;
};

}  // namespace cvl::sim
