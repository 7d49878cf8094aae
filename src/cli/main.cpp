// corvexlink-cli: the scriptable front end of the flash programmer.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/CliReport.h"
#include "cli/CommandTable.h"
#include "common/Clock.h"
#include "platform/Host.h"
#include "platform/Interrupts.h"

namespace {

int run(int argc, char** argv) {
    using namespace cvl::cli;
    const cvl::PreciseTimers preciseTimers;
    cvl::reportFileSizeLimitAsError();
    const cvl::Utf8Console console;
    const std::vector<std::string> all = cvl::commandLineArguments(argc, argv);
    const std::vector<std::string> words(all.begin() + (all.empty() ? 0 : 1), all.end());
    // A wrong command line still answers --json with JSON.
    const bool json = std::find(words.begin(), words.end(), "--json") != words.end();
    if (words.empty()) return usageError("", json, "a command is needed");
    const std::string& command = words.front();
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("corvexlink-cli %s\n", CORVEXLINK_VERSION);
        return 0;
    }
    if (command == "--man") {
        std::fputs(manPage().c_str(), stdout);
        return 0;
    }
    const CommandSpec* entry = findCommand(command);
    if (entry == nullptr) return usageError(command, json, "unknown command '" + command + "'");
    std::string error;
    const auto parsed = parseArgs(*entry, args, error);
    if (!parsed) return usageError(command, json, error);
    if (parsed->has("--help")) {
        std::fputs(commandHelp(*entry).c_str(), stdout);
        return 0;
    }
    return entry->run(*parsed);
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing may end the tool without a word: whatever escapes a command is
    // reported, with the failure status.
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvexlink-cli: internal error: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "corvexlink-cli: internal error\n");
    }
    return 1;
}
