#pragma once
// Serves a PodEmulator on a pseudo-terminal and announces it as a virtual
// pod, until SIGINT or SIGTERM.

#include <string>

#include "podsim/EmulatorArgs.h"

namespace cvl::sim {

// Runs the emulator process; returns its exit status.
int runVirtualPod(const PodsimArgs& args);

}  // namespace cvl::sim
