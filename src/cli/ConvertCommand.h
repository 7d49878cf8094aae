#pragma once

#include "cli/ParsedArgs.h"

namespace cvl::cli {

// corvexlink-cli convert [--device D|none] [--base ADDR] FILE --to hex|bin -o OUT
int runConvert(const ParsedArgs& args);

}  // namespace cvl::cli
