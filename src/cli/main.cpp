// corvexlink-cli: the scriptable front end of the flash programmer.

#include <cstdio>
#include <string>
#include <vector>

#include "Clock.h"
#include "InfoCommand.h"
#include "PodCliCommands.h"
#include "Usage.h"

namespace cvl::cli {

const char* usageText() {
    return "Usage: corvexlink-cli COMMAND [OPTIONS]\n"
           "\n"
           "Commands:\n"
           "  info [--device F28332|F28334|F28335] [--json] FILE\n"
           "      Load a TI COFF program for the device (default F28335) and show its\n"
           "      sections and summary. Exit status 0 when loaded, 1 when refused.\n"
           "  write [--device F28332|F28334|F28335] [--erase-all] [--csm KEY0,...,KEY7] FILE\n"
           "      Program FILE into the target through the pod (Target Write). Intelligent\n"
           "      erase unless --erase-all; --csm unlocks the code security module with the\n"
           "      eight hexadecimal keys (an empty key is FFFF).\n"
           "  reset\n"
           "      Reset the target board through the pod (Target Reset).\n"
           "  pod-write [--device F28332|F28334|F28335] [--erase-all] [--csm KEY0,...,KEY7]\n"
           "            [--name NAME] FILE\n"
           "      Store FILE's flash sections, the CSM password, the erase choice and a tag\n"
           "      (NAME, at most 8 characters, default the file's name, and the time) in the\n"
           "      pod, so it can program boards on its own (POD Write).\n"
           "  pod-verify [--device F28332|F28334|F28335] FILE\n"
           "      Check the pod's stored job against FILE (POD Verify).\n"
           "  pod-info\n"
           "      Show the pod's firmware version and its stored job's name and date.\n"
           "  probe\n"
           "      Look for the pod without opening it; exit status 0 when one is found.\n"
           "\n"
           "The pod commands exit with 0 on success and 1 on failure. They use the pod found\n"
           "by its description \"Corvexlink POD\": through FTDI's D2XX library when it is\n"
           "installed, through the kernel's serial driver, or a running corvexlink-podsim.\n"
           "\n"
           "Exit status 2 means the command line itself was wrong.\n";
}

int usageError(const std::string& what) {
    std::fprintf(stderr, "corvexlink-cli: %s\nTry 'corvexlink-cli --help'.\n", what.c_str());
    return kExitUsage;
}

}  // namespace cvl::cli

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
    if (command == "info") return runInfo(args);
    if (command == "write") return runWrite(args);
    if (command == "reset") return runReset(args);
    if (command == "probe") return runProbe(args);
    if (command == "pod-write") return runPodWrite(args);
    if (command == "pod-verify") return runPodVerify(args);
    if (command == "pod-info") return runPodInfo(args);
    return usageError("unknown command '" + command + "'");
}
