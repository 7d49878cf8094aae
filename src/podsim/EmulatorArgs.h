#pragma once
// Command-line options of corvexlink-podsim.

#include <optional>
#include <string>
#include <vector>

#include "common/CommandLine.h"
#include "sim/PodEmulator.h"

namespace cvl::sim {

struct PodsimArgs {
    EmulatorOptions emulator;
    std::string flashFile;
    std::string storeFile;
    std::string traceFile;
    std::string name;          // announcement file name
    std::string serialNumber;  // empty: derived from the process id
    bool help = false;
    bool version = false;
};

// The emulator's options, read as every program of the project reads its own.
const std::vector<OptionSpec>& podsimOptions();
// Parses the arguments; on a mistake returns nothing and sets error.
std::optional<PodsimArgs> parsePodsimArgs(const std::vector<std::string>& args, std::string& error);
std::string podsimUsage();

}  // namespace cvl::sim
