#pragma once

#include "cli/ParsedArgs.h"

namespace cvl::cli {

// corvexlink-cli info [--device D] [--json] FILE
int runInfo(const ParsedArgs& args);

}  // namespace cvl::cli
