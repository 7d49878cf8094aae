#pragma once
// One board's record in JSON: what one pod command did on one pod, with the
// same fields whether one pod or several were used. The run's own fields
// (exit status, the summary of several pods) are added beside it.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "command/CommandOutcome.h"

namespace cvl::cli {

struct BoardReport {
    std::string command;
    CommandOutcome outcome;
    std::vector<std::pair<std::string, bool>> messages;  // every line shown, with its error flag
    // The program, for the commands that take one.
    bool program = false;
    std::string file;
    std::string device;
    ProgramFigures figures;
    std::vector<std::string> warnings;
    std::optional<std::uint64_t> serialNumber;
};

nlohmann::ordered_json boardJson(const BoardReport& board);

}  // namespace cvl::cli
