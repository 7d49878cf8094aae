#pragma once
// The pod commands of the tool: each builds its request from the options,
// runs the core command and reports its outcome.

#include "cli/ParsedArgs.h"

namespace cvl::cli {

int runWrite(const ParsedArgs& args);
int runReset(const ParsedArgs& args);
int runPodWrite(const ParsedArgs& args);
int runPodVerify(const ParsedArgs& args);
int runPodInfo(const ParsedArgs& args);
// The start-up check; 0 when a pod is found.
int runProbe(const ParsedArgs& args);
// Lists the pods found; 0 when there is at least one.
int runPods(const ParsedArgs& args);

}  // namespace cvl::cli
