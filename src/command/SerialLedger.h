#pragma once
// Unique serial numbers for a production line: a small text file that a
// person can read (the next number, then a line per number issued and per
// outcome), changed only under a lock so that two processes or eight pods
// never get the same number. A number once taken is never issued again,
// whatever became of its board.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/CoffImage.h"

namespace cvl {

struct SerialIssue {
    std::uint64_t number;
    std::string pod;      // the pod's serial number
    std::string outcome;  // "issued", then the command's result
};

// Takes one number per pod (the next in the ledger, or start for a new one,
// whichever is larger), recording them as issued; nothing (error set) when
// the ledger cannot be used or the numbers would pass maxValue.
std::optional<std::vector<std::uint64_t>> takeSerialNumbers(const std::string& ledger, std::uint64_t start,
                                                            std::uint64_t maxValue,
                                                            const std::vector<std::string>& pods, std::string& error);
// Records the outcome of each number's board.
bool recordSerialOutcomes(const std::string& ledger, const std::vector<SerialIssue>& outcomes, std::string& error);

// Writes number at address (16 bits), or low word at address and high word
// at address + 1 (32 bits), in the image's flash sections; false when a word
// lies outside them.
bool writeSerialNumber(CoffImage& image, std::uint32_t address, unsigned widthBits, std::uint64_t number);
// Whether the words a serial number takes lie in the image's flash sections.
bool serialFitsFlash(const CoffImage& image, std::uint32_t address, unsigned widthBits);

// Now, UTC, as ISO 8601 ("2026-12-07T09:30:00Z").
std::string utcTimestamp();

}  // namespace cvl
