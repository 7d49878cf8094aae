#pragma once
// A serial-number ledger a user names: a SQLite file of one station or a
// PostgreSQL database a line of stations shares. Both keep one series of
// numbers, each issued once, then marked used or failed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "line/SerialNumberSource.h"

namespace cvl {

struct LedgerEntry {
    std::uint64_t number = 0;
    std::string state;  // "issued", "used" or "failed"
    std::string board;  // the serial number of the pod that programmed it
    std::string time;   // UTC, ISO 8601, of the last change
};

class SerialLedger : public SerialNumberSource {
public:
    // The numbers' range: the first number of a new series and the width's largest.
    void setRange(std::uint64_t start, std::uint64_t maxValue) {
        start_ = start;
        max_ = maxValue;
    }
    // Every number, in order.
    virtual std::optional<std::vector<LedgerEntry>> list(std::string& error) = 0;

protected:
    // Whether count numbers from next stay within the range (no overflow).
    bool fits(std::uint64_t next, std::uint64_t count) const {
        return count == 0 || (next <= max_ && count - 1 <= max_ - next);
    }
    std::uint64_t start_ = 1;
    std::uint64_t max_ = 0xFFFF;
};

// The state a command's result gives its number.
inline std::string ledgerState(const std::string& outcome) {
    if (outcome == "issued") return "issued";
    return outcome == "Ok" ? "used" : "failed";
}

// The series every ledger keeps its numbers under.
inline constexpr const char* kLedgerSeries = "default";

}  // namespace cvl
