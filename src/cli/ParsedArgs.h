#pragma once
// A command line as the parser understood it, and the readers of the
// option values several commands share.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/CommandLine.h"
#include "image/McuTable.h"

namespace cvl::cli {

// The options (values and flags), the command and its words.
struct ParsedArgs : ParsedOptions {
    std::string command;  // "write"
    std::string file;
    std::vector<std::string> more;  // words after FILE, for commands that take several
    bool json() const { return has("--json"); }
};

// A decimal number no larger than max.
std::optional<std::uint64_t> parseDecimal(const std::string& text, std::uint64_t max);
// A --device value: F28332, F28334, F28335, or (where allowed) "none".
std::optional<McuType> parseDevice(const std::string& text, bool noneAllowed);

// --device (with "none" where allowed) and --base, into device and base; the
// text of a wrong command line otherwise.
std::optional<std::string> readDeviceAndBase(const ParsedArgs& args, bool noneAllowed, McuType& device,
                                             std::optional<std::uint32_t>& base);

}  // namespace cvl::cli
