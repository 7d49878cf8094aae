#pragma once
// One pod command on several pods at once (--pod several times, or
// --all-pods), or on one pod with the programming log and per-board serial
// numbers. Each
// pod runs the whole command in a thread of its own, with its own link, its
// own copy of the program and its own status lines; the core stays
// single-threaded per pod. A pod's failure or unplug never stops another.

#include <functional>

#include <optional>
#include <string>

#include "cli/ParsedArgs.h"
#include "command/CommandContext.h"
#include "command/Requests.h"

namespace cvl::cli {

struct GangJob {
    const char* command;
    bool program;        // the command takes a program file
    OutcomeCode noFile;  // what it says when the file's name is blank
    ProgramSource source;
    bool eraseAll = false;
    std::function<CommandOutcome(CommandContext&)> run;
};

// Whether the command line asks for the fan-out: several pods, all pods, a
// log or serial numbers. With one pod the output reads as any single-pod
// command's, log or not.
bool wantsGang(const ParsedArgs& args);
// What is wrong with the production-line options on their own, if anything.
std::optional<std::string> lineOptionError(const ParsedArgs& args);

// Two of the files a command reads or writes that are one file (through a
// link, a hard link or the same name), said as a usage error, or nothing:
// checked before anything is opened for writing.
std::optional<std::string> filesNamedTwice(const ParsedArgs& args, bool program);

int runGang(const GangJob& job, const ParsedArgs& args);

}  // namespace cvl::cli
