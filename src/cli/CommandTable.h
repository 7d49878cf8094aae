#pragma once
// The tool's commands in one table: name, synopsis, options and handler.
// Dispatch, --help, each command's help (and so the man page) and option
// checking all read it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/McuTable.h"

namespace cvl::cli {

inline constexpr int kExitUsage = 2;

struct OptionSpec {
    const char* name;   // "--device"
    const char* value;  // the value's name ("D"), nullptr for a flag
    const char* help;
};

// A command line as the parser understood it.
struct ParsedArgs {
    std::vector<std::pair<std::string, std::string>> values;  // options with values, in order
    std::vector<std::string> flags;
    std::string file;
    bool has(const std::string& flag) const;
    std::optional<std::string> value(const std::string& option) const;
};

struct CommandSpec {
    const char* name;
    const char* summary;      // one line for the overall help
    const char* description;  // what it does, for its own help
    std::vector<OptionSpec> options;
    bool takesFile;
    int (*run)(const ParsedArgs& args);
};

const std::vector<CommandSpec>& commandTable();
const CommandSpec* findCommand(const std::string& name);

// Splits args by the command's options and the common ones (--json,
// --trace FILE, --help); the error text of a wrong command line otherwise.
std::optional<ParsedArgs> parseArgs(const CommandSpec& command, const std::vector<std::string>& args,
                                    std::string& error);

// A word address as given on the command line: decimal, or hexadecimal with 0x.
std::optional<std::uint32_t> parseAddress(const std::string& text);
// A --device value: F28332, F28334, F28335, or (where allowed) "none".
std::optional<McuType> parseDevice(const std::string& text, bool noneAllowed);

// --device (with "none" where allowed) and --base, into device and base; the
// text of a wrong command line otherwise.
std::optional<std::string> readDeviceAndBase(const ParsedArgs& args, bool noneAllowed, McuType& device,
                                             std::optional<std::uint32_t>& base);

std::string usageText();
std::string commandHelp(const CommandSpec& command);
// Prints the error and a hint on standard error; returns the usage exit status.
int usageError(const std::string& what);

}  // namespace cvl::cli
