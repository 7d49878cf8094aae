#pragma once
// What one pod command did on one board: one record per board, with the same
// fields whether one pod or several were used.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "command/CommandOutcome.h"
#include "pod/PodPort.h"

namespace cvl {

struct BoardRecord {
    std::string time;  // UTC, ISO 8601, when the board's command ended
    std::string host;
    PodInfo pod;
    std::string command;  // "write", "reset", ...
    std::string device;   // the device's short name; empty for commands without a program
    std::string program;  // the program file as given
    std::string programSha256;
    std::uint32_t flashCrc32 = 0;  // of the flash words programmed, serial number included
    std::uint8_t eraseMask = 0;
    std::optional<std::uint64_t> serialNumber;
    CommandOutcome outcome;                              // result, message, figures, phases, elapsed time
    std::vector<std::string> warnings;                   // the program's
    std::vector<std::pair<std::string, bool>> messages;  // every line the command showed, with its error flag
    double totalMs = 0;                                  // from the command's start to its end on this pod
};

}  // namespace cvl
