#pragma once

#include <string>
#include <vector>

namespace cvl::cli {

// corvexlink-cli write [--device ...] [--erase-all] [--csm KEY0,...,KEY7] FILE
int runWrite(const std::vector<std::string>& args);
// corvexlink-cli reset
int runReset(const std::vector<std::string>& args);
// corvexlink-cli pod-write [--device ...] [--erase-all] [--csm ...] [--name NAME] FILE
int runPodWrite(const std::vector<std::string>& args);
// corvexlink-cli pod-verify [--device ...] FILE
int runPodVerify(const std::vector<std::string>& args);
// corvexlink-cli pod-info
int runPodInfo(const std::vector<std::string>& args);
// corvexlink-cli probe: the start-up check; 0 when a pod is found.
int runProbe(const std::vector<std::string>& args);

}  // namespace cvl::cli
