#pragma once
// The one path by which a pod command runs on one pod, for every front end:
// the window, the command-line tool and each pod of a production line. It
// narrows the link to the pod chosen (or to none, so the command itself
// reports that no pod is attached), lets the trace watch the wire, runs the
// command, closes the link and returns what happened as the board's record.

#include <functional>
#include <optional>
#include <string>

#include "command/BoardRecord.h"
#include "command/CommandContext.h"

namespace cvl {

struct PodJob {
    std::string command;    // "write", "reset", ...
    bool program = false;   // the command takes a program file
    bool eraseAll = false;  // for the record's erase figures
    std::function<CommandOutcome(CommandContext&)> run;
};

// Runs job on pod through ctx's link and image; every line the command
// shows goes to ctx's sink and into the record. trace, when given, sees
// every byte of this command and of nothing else. The record's pod, command,
// outcome (with the program's figures), messages and time are filled in.
BoardRecord runOnPod(const PodJob& job, CommandContext& ctx, const std::optional<PodInfo>& pod,
                     LinkObserver* trace = nullptr);

}  // namespace cvl
