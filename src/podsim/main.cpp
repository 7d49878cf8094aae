// corvexlink-podsim: a virtual Corvexlink POD for users without hardware,
// for CI and for scripted tests of the programmer.

#include <cstdio>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "platform/Host.h"
#include "podsim/EmulatorArgs.h"
#include "podsim/VirtualPod.h"

int main(int argc, char** argv) {
    const cvl::PreciseTimers preciseTimers;  // replies go out at their modelled moment
    std::string error;
    const auto args = cvl::sim::parsePodsimArgs(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!args) {
        // As corvexlink-cli says a command line is wrong.
        std::fprintf(stderr, "corvexlink-podsim: %s\nTry 'corvexlink-podsim --help'.\n", error.c_str());
        return 2;
    }
    if (args->version) {
        std::printf("corvexlink-podsim %s\n", CORVEXLINK_VERSION);
        return 0;
    }
    if (args->help) {
        std::fputs(cvl::sim::podsimUsage().c_str(), stdout);
        return 0;
    }
    return cvl::sim::runVirtualPod(*args);
}
