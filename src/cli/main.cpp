// corvexlink-cli: the scriptable front end of the flash programmer.

#include <cstdio>
#include <string>
#include <vector>

#include "Clock.h"
#include "InfoCommand.h"
#include "PodCliCommands.h"
#include "Usage.h"

int main(int argc, char** argv) {
    using namespace cvl::cli;
    cvl::preferPreciseSleeps();
    if (argc < 2) return usageError("a command is needed");
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("corvexlink-cli %s\n", CORVEXLINK_VERSION);
        return 0;
    }
    if (command == "info") return runInfo(args);
    if (command == "write") return runWrite(args);
    if (command == "reset") return runReset(args);
    if (command == "pod-write") return runPodWrite(args);
    if (command == "pod-verify") return runPodVerify(args);
    if (command == "pod-info") return runPodInfo(args);
    if (command == "probe") return runProbe(args);
    return usageError("unknown command '" + command + "'");
}
