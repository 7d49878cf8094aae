#pragma once

#include <string>

namespace cvl::cli {

inline constexpr int kExitUsage = 2;

// Prints the error and a hint on standard error; returns the usage exit status.
int usageError(const std::string& what);

// The overall help text, and one command's (empty for an unknown command).
const char* usageText();
std::string commandHelp(const std::string& command);

}  // namespace cvl::cli
