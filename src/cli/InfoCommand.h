#pragma once

#include <string>
#include <vector>

namespace cvl::cli {

// corvexlink-cli info [--device F28332|F28334|F28335] [--json] FILE
int runInfo(std::vector<std::string> args);

}  // namespace cvl::cli
