#include "common/CommandLine.h"

#include <algorithm>

namespace cvl {

bool ParsedOptions::has(const std::string& flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::optional<std::string> ParsedOptions::value(const std::string& option) const {
    for (const auto& [name, v] : values) {
        if (name == option) return v;
    }
    return std::nullopt;
}

std::vector<std::string> ParsedOptions::valuesOf(const std::string& option) const {
    std::vector<std::string> out;
    for (const auto& [name, v] : values) {
        if (name == option) out.push_back(v);
    }
    return out;
}

namespace {
const OptionSpec* findIn(const std::vector<const std::vector<OptionSpec>*>& lists, const std::string& name) {
    for (const auto* list : lists) {
        const auto it = std::find_if(list->begin(), list->end(), [&](const OptionSpec& o) { return name == o.name; });
        if (it != list->end()) return &*it;
    }
    return nullptr;
}
}  // namespace

std::optional<ParsedOptions> parseOptions(const std::vector<const std::vector<OptionSpec>*>& lists,
                                          const std::vector<std::string>& args, std::string& error,
                                          std::string* unknown) {
    ParsedOptions parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string name = args[i] == "-h" ? "--help" : args[i];
        if (!name.starts_with("-") || name == "-") {
            parsed.words.push_back(args[i]);
            continue;
        }
        const OptionSpec* option = findIn(lists, name);
        if (option == nullptr) {
            if (unknown != nullptr) *unknown = name;
            error = "unknown option '" + name + "'";
            return std::nullopt;
        }
        if (option->value == nullptr) {
            parsed.flags.push_back(name);
            continue;
        }
        if (i + 1 >= args.size()) {
            error = name + " needs " + option->value;
            return std::nullopt;
        }
        if (!option->repeatable && parsed.value(name)) {
            error = name + " is given twice: give it once";
            return std::nullopt;
        }
        parsed.values.emplace_back(name, args[++i]);
    }
    return parsed;
}

std::string optionLines(const std::vector<OptionSpec>& options) {
    std::string text;
    for (const OptionSpec& o : options) {
        std::string head = std::string("  ") + o.name + (o.value != nullptr ? std::string(" ") + o.value : "");
        if (head.size() < 20) head.resize(20, ' ');
        std::string help = o.help;
        for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1)) {
            help.insert(at + 1, std::string(21, ' '));
        }
        text += head + " " + help + "\n";
    }
    return text;
}

}  // namespace cvl
