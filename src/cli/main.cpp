// corvexlink-cli: the scriptable front end of the flash programmer.

#include <cstdio>
#include <string>
#include <vector>

#include "InfoCommand.h"
#include "Usage.h"

namespace cvl::cli {

const char* usageText() {
    return "Usage: corvexlink-cli COMMAND [OPTIONS]\n"
           "\n"
           "Commands:\n"
           "  info [--device F28332|F28334|F28335] [--json] FILE\n"
           "      Load a TI COFF program for the device (default F28335) and show its\n"
           "      sections and summary. Exit status 0 when loaded, 1 when refused.\n"
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
    if (argc < 2) return usageError("a command is needed");
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (command == "info") return runInfo(args);
    return usageError("unknown command '" + command + "'");
}
