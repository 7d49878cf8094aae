#pragma once
// Where a production line takes its boards' serial numbers from. A number is
// issued before its board is programmed, then marked with the board's
// outcome, and never issued twice, whatever became of its board.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

struct SerialIssue {
    std::uint64_t number;
    std::string pod;      // the pod's serial number
    std::string outcome;  // the command's result ("Ok", "WriteFailed", ...)
};

class SerialNumberSource {
public:
    virtual ~SerialNumberSource() = default;
    // One number per pod (given by their serial numbers), recorded as issued;
    // nothing, with error set, when no numbers can be had.
    virtual std::optional<std::vector<std::uint64_t>> take(const std::vector<std::string>& pods,
                                                           std::string& error) = 0;
    // Records each number's board outcome.
    virtual bool record(const std::vector<SerialIssue>& outcomes, std::string& error) = 0;
};

}  // namespace cvl
