#pragma once
// Runs a pod command from its options and prints what it did: on the one pod
// attached or named, or on several at once (--pod several times, or
// --all-pods), with the programming log and per-board serial numbers when
// asked. The production line runs it; each pod runs the whole command in a
// thread of its own, with its own link, its own copy of the program and its
// own status lines. One pod prints as one pod, log or not.

#include <functional>

#include <optional>
#include <string>

#include "cli/ParsedArgs.h"
#include "command/CommandContext.h"
#include "command/Requests.h"

namespace cvl::cli {

struct PodCommandJob {
    const char* command;
    bool program;        // the command takes a program file
    OutcomeCode noFile;  // what it says when the file's name is blank
    ProgramSource source;
    bool eraseAll = false;
    std::function<CommandOutcome(CommandContext&)> run;
};

// What is wrong with the production-line options on their own, if anything.
std::optional<std::string> lineOptionError(const ParsedArgs& args);

// Two of the files a command reads or writes that are one file (through a
// link, a hard link or the same name), said as a usage error, or nothing:
// checked before anything is opened for writing.
std::optional<std::string> filesNamedTwice(const ParsedArgs& args, bool program);

int runPodCommand(const PodCommandJob& job, const ParsedArgs& args);

}  // namespace cvl::cli
