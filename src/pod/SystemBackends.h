#pragma once
// The backends the programs search: the vendor D2XX library when installed,
// then the system's serial driver (terminals and the emulator's virtual pods
// on Linux, COM ports on Windows); nullptr when none is usable.

#include <memory>
#include <string>
#include <vector>

#include "pod/PodLink.h"
#include "pod/PodPort.h"

namespace cvl {

std::unique_ptr<PodBackend> loadSystemBackends();
// The same, with the ports a user named (--pod COM5): on Windows each is
// taken as a pod even when the system reports no description for it.
PodLink::BackendLoader systemBackendsNaming(std::vector<std::string> ports);

// Advice about a pod's connection the user should see (a slow latency
// timer and how to lower it), or empty.
// What the user should know about how pods are found here (the Linux pods
// folder that is not the user's private one, so virtual pods are ignored);
// empty when all is well.
std::vector<std::string> backendWarnings();

// How this system finds a pod, in a few lines for the command line's help.
std::string podConnectionHelp();

std::string podAdvice(const PodInfo& pod);

}  // namespace cvl
