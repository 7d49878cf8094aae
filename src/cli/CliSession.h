#pragma once
// What every pod command of the tool shares: the options --json, --trace and
// --help, the pod link on the real clock, the image and keys, the status
// output, and the closing JSON object.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliInputs.h"
#include "Clock.h"
#include "LinkTrace.h"
#include "PodCommands.h"
#include "PodLink.h"
#include "TerminalStatus.h"
#include "TextTrace.h"

namespace cvl::cli {

struct CommonOptions {
    bool json = false;
    bool help = false;
    std::string traceFile;
};

// Takes --json, --trace FILE and --help out of args. Returns an error text
// when --trace has no file.
std::optional<std::string> extractCommonOptions(std::vector<std::string>& args, CommonOptions& options);

class CliSession {
public:
    explicit CliSession(const CommonOptions& options);
    ~CliSession();
    // Empty when the trace file could be opened (or none was asked for).
    const std::string& error() const { return error_; }

    // Prints the JSON object when asked and returns the exit status.
    // inputs, when given, adds the program's figures.
    int finish(const char* command, bool succeeded, const CliInputs* inputs);

    SteadyClock clock;
    PodLink link;
    CoffImage image;
    CsmKeys keys;
    TerminalStatus status;

private:
    bool json_;
    std::uint64_t startUs_;
    std::FILE* traceFile_ = nullptr;
    std::unique_ptr<TextTrace> trace_;
    std::unique_ptr<LinkTrace> linkTrace_;
    std::string error_;
};

}  // namespace cvl::cli
