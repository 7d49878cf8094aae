#pragma once
// Command lines read from a table of options, the same way for every
// program of the project: options with a value or without, given once or (where
// the table says so) several times, and the words that are no options; and
// the table's lines for a help text.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cvl {

struct OptionSpec {
    const char* name;   // "--device"
    const char* value;  // the value's name ("D"), nullptr for a flag
    const char* help;
    bool required = false;
    bool repeatable = false;  // may be given several times (each value counts)
};

struct ParsedOptions {
    std::vector<std::pair<std::string, std::string>> values;  // options with values, in order
    std::vector<std::string> flags;
    std::vector<std::string> words;  // the arguments that are no options, in order
    bool has(const std::string& flag) const;
    std::optional<std::string> value(const std::string& option) const;
    // Every value of an option given several times, in order.
    std::vector<std::string> valuesOf(const std::string& option) const;
};

// Splits args by the options of the lists ("-h" is "--help"); nothing, with
// error set to the text of a wrong command line, otherwise. unknown, when
// given, receives the option no list names when that is the mistake.
std::optional<ParsedOptions> parseOptions(const std::vector<const std::vector<OptionSpec>*>& lists,
                                          const std::vector<std::string>& args, std::string& error,
                                          std::string* unknown = nullptr);

// The options as help lines: name and value, then the help, aligned.
std::string optionLines(const std::vector<OptionSpec>& options);

}  // namespace cvl
