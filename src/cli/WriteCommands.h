#pragma once

#include <string>
#include <vector>

namespace cvl::cli {

// corvexlink-cli write [--device ...] [--erase-all] [--csm KEY0,...,KEY7] FILE
int runWrite(const std::vector<std::string>& args);
// corvexlink-cli reset
int runReset(const std::vector<std::string>& args);

}  // namespace cvl::cli
