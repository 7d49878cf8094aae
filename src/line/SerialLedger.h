#pragma once
// Unique serial numbers for a production line from a small text file that a
// person can read (the next number, then a line per number issued and per
// outcome), changed only under a lock so that two processes or eight pods
// never get the same number.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "line/SerialNumberSource.h"

namespace cvl {

class TextSerialLedger : public SerialNumberSource {
public:
    // start: the first number of a new ledger; maxValue: the width's largest number.
    TextSerialLedger(std::string path, std::uint64_t start, std::uint64_t maxValue)
        : path_(std::move(path)), start_(start), max_(maxValue) {}
    // The next number in the ledger, or start for a new one, whichever is
    // larger; nothing (error set) when the ledger cannot be used or the
    // numbers would pass the width's largest number.
    std::optional<std::vector<std::uint64_t>> take(const std::vector<std::string>& pods, std::string& error) override;
    bool record(const std::vector<SerialIssue>& outcomes, std::string& error) override;

private:
    std::string path_;
    std::uint64_t start_;
    std::uint64_t max_;
};

}  // namespace cvl
