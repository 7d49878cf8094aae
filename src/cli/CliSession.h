#pragma once
// What every pod command of the tool shares: the pod link on the real clock,
// the image, the status output, the byte trace, and the closing JSON object.

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/ParsedArgs.h"
#include "cli/InterruptibleTrace.h"
#include "cli/TerminalStatus.h"
#include "command/CommandContext.h"
#include "common/Clock.h"
#include "pod/PodLink.h"
#include "pod/TextTrace.h"

namespace cvl::cli {

// A loaded program's warnings, on standard error.
void printWarnings(const CoffImage& image);

class CliSession {
public:
    explicit CliSession(const ParsedArgs& args);
    ~CliSession();
    // Empty when the trace file could be opened (or none was asked for).
    const std::string& error() const { return error_; }

    CommandContext context() { return CommandContext{image, link, status, clock, {}, {}}; }

    // Chooses the pod as --pod says, or the only one attached, and narrows
    // the link to it; Ok, or the failure, already shown (several pods and no
    // --pod, or a --pod that matches no pod or several: they are listed).
    // Names the chosen pod on the output.
    OutcomeCode choosePod(const ParsedArgs& args);

    // Prints the JSON object when asked and returns the exit status.
    // file and device, when given, describe the program the command used.
    int finish(const char* command, const CommandOutcome& outcome, const std::string& file = {},
               const char* device = nullptr);

    SteadyClock clock;
    PodLink link;
    CoffImage image;
    TerminalStatus status;

private:
    // Ends the trace (the link is closed first); false with error set when
    // the file lost anything.
    bool closeTrace(std::string& error);

    bool json_;
    std::unique_ptr<InterruptibleTrace> trace_;
    std::string error_;
};

// A pod as a JSON object: description, serialNumber, devicePath, backend.
nlohmann::ordered_json podJson(const PodInfo& pod);

}  // namespace cvl::cli
