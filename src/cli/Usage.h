#pragma once

#include <string>

namespace cvl::cli {

inline constexpr int kExitUsage = 2;

// Prints the error and a hint on standard error; returns the usage exit status.
int usageError(const std::string& what);

// The overall help text.
const char* usageText();

}  // namespace cvl::cli
