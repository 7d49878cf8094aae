#pragma once
// The tool's commands in one table: name, synopsis, options and handler.
// Dispatch, --help, each command's help (and so the man page) and option
// checking all read it.

#include <optional>
#include <string>
#include <vector>

#include "cli/ParsedArgs.h"

namespace cvl::cli {

struct CommandSpec {
    const char* name;
    const char* summary;      // one line for the overall help
    const char* description;  // what it does, for its own help
    std::vector<OptionSpec> options;
    bool takesFile;
    int (*run)(const ParsedArgs& args);
    bool talksToPod = true;  // takes --trace
    // The words the command takes, in its synopsis ("FILE", "import OLD NEW | list LEDGER"),
    // and how many at most.
    const char* words = "FILE";
    std::size_t maxWords = 1;
};

const std::vector<CommandSpec>& commandTable();
const CommandSpec* findCommand(const std::string& name);

// Splits args by the command's options and the common ones (--json,
// --trace FILE for the commands that talk to a pod, --help); the error text
// of a wrong command line otherwise.
std::optional<ParsedArgs> parseArgs(const CommandSpec& command, const std::vector<std::string>& args,
                                    std::string& error);

std::string usageText();
std::string commandHelp(const CommandSpec& command);
// The manual page, in roff, with every command and its options.
std::string manPage();

}  // namespace cvl::cli
