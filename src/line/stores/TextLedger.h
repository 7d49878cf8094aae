#pragma once
// The serial-number ledger of older versions: a text file of a heading, the
// next number, and one line per number and outcome. Read only, to convert it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "line/SerialLedger.h"

namespace cvl {

// The first line of every text ledger.
inline constexpr const char* kTextLedgerHeading = "# Corvexlink serial numbers";

// Its next number and every number with its last state.
struct TextLedger {
    std::uint64_t next = 0;
    std::vector<LedgerEntry> entries;
};
// Nothing, with error set, when the file is not one.
std::optional<TextLedger> readTextLedger(const std::string& path, std::string& error);

}  // namespace cvl
