#pragma once
// A serial-number ledger a user names: a SQLite file of one station or a
// PostgreSQL database a line of stations shares. Both keep one series of
// numbers, each issued once, then marked used or failed.

#include <algorithm>
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

// What a ledger is opened for: taking numbers (it must exist), making it
// (or finishing one whose making was cut short), or only reading it.
enum class LedgerUse { Take, Init, Read };

class SerialLedger : public SerialNumberSource {
public:
    // The numbers' range: the first number the next take gives, when the user
    // names one (--serial-start), and the width's largest. A ledger that has
    // issued numbers goes on from its next number: a start that is not that
    // number is refused, naming it. The start applies to the next take only.
    void setRange(std::optional<std::uint64_t> start, std::uint64_t maxValue) {
        start_ = start;
        max_ = maxValue;
    }
    // Every number, in order.
    virtual std::optional<std::vector<LedgerEntry>> list(std::string& error) = 0;
    // Makes first the number the next take gives (ledger init --serial-start):
    // refused, naming the next number, once the ledger has issued numbers
    // and first is not that number.
    virtual bool startAt(std::uint64_t first, std::string& error) = 0;

protected:
    // Whether count numbers from next stay within the range (no overflow).
    bool fits(std::uint64_t next, std::uint64_t count) const {
        return count == 0 || (next <= max_ && count - 1 <= max_ - next);
    }
    // The first number to issue: after the highest issued (and not below the
    // floor a conversion or an init set), or the user's start on a ledger
    // that has issued none. Nothing, with error set, for a start that would
    // skip or repeat numbers.
    std::optional<std::uint64_t> firstNumber(std::optional<std::uint64_t> highest, std::uint64_t floor,
                                             std::string& error) const {
        if (!highest) return start_ ? *start_ : std::max<std::uint64_t>(floor, 1);
        const std::uint64_t next = std::max(floor, *highest + 1);
        if (start_ && *start_ != next) {
            error = "--serial-start " + std::to_string(*start_) +
                    " does not fit this ledger: it has issued numbers, and its next number is " + std::to_string(next);
            return std::nullopt;
        }
        return next;
    }
    std::optional<std::uint64_t> start_;
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
