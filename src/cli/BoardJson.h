#pragma once
// One board's record in JSON, as the tool prints it: what one pod command did
// on one pod, with the same fields whether one pod or several were used. The
// run's own fields (exit status, the summary of several pods) go beside it.

#include <nlohmann/json.hpp>

#include "command/BoardRecord.h"

namespace cvl::cli {

// A pod as a JSON object: description, serialNumber, devicePath, backend.
nlohmann::ordered_json podJson(const PodInfo& pod);

// program: the command takes a program (figures and warnings are given).
nlohmann::ordered_json boardJson(const BoardRecord& board, bool program);

}  // namespace cvl::cli
