#include "PodCliCommands.h"

#include "CliInputs.h"
#include "Clock.h"
#include "PodLink.h"
#include "SystemDriver.h"
#include "StoreOperations.h"
#include "TargetCommands.h"
#include "TerminalStatus.h"
#include "Usage.h"

namespace cvl::cli {

namespace {

// Splits "K0,K1,...,K7" into the eight key texts; false unless there are eight.
bool splitKeys(const std::string& text, std::array<std::string, 8>& keys) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::size_t comma = text.find(',', start);
        if ((comma == std::string::npos) != (i == keys.size() - 1)) return false;
        keys[i] = text.substr(start, comma - start);
        start = comma + 1;
    }
    return true;
}

struct Programmer {
    SteadyClock clock;
    PodLink link{loadSystemDriver, clock};
    CoffImage image;
    CsmKeys keys;
};

// Parses [--device D] [--erase-all] [--csm K0,...,K7] [--name NAME] FILE,
// accepting only the options in allowed. Returns the usage exit status on a
// mistake, -1 when the inputs are complete.
int parseProgramArgs(const std::vector<std::string>& args, const std::string& allowed, const char* command,
                     CliInputs& inputs) {
    const auto permitted = [&](const std::string& option) { return allowed.find(option) != std::string::npos; };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.starts_with("--") && a != "--device" && !permitted(a)) {
            return usageError(std::string(command) + " does not take " + a);
        }
        if (a == "--erase-all") {
            inputs.eraseAll = true;
        } else if (a == "--device") {
            if (i + 1 >= args.size()) return usageError("--device needs F28332, F28334 or F28335");
            const auto d = mcuFromName(args[++i].c_str());
            if (!d) return usageError("unknown device '" + args[i] + "'");
            inputs.device = *d;
        } else if (a == "--csm") {
            if (i + 1 >= args.size() || !splitKeys(args[++i], inputs.keys)) {
                return usageError("--csm needs eight keys: KEY0,KEY1,...,KEY7");
            }
            inputs.csm = true;
        } else if (a == "--name") {
            if (i + 1 >= args.size()) return usageError("--name needs a POD file name");
            inputs.podName = args[++i];
        } else if (a.starts_with("-") && a != "-") {
            return usageError("unknown option '" + a + "'");
        } else if (inputs.file.empty()) {
            inputs.file = a;
        } else {
            return usageError("only one FILE may be given");
        }
    }
    if (inputs.file.empty()) return usageError(std::string(command) + " needs a FILE");
    return -1;
}

// Runs one command of the core against the system's pod.
int runCommand(CliInputs& inputs, bool (*command)(CommandContext&)) {
    Programmer p;
    TerminalStatus status;
    p.link.loadDriver();
    CommandContext ctx{p.image, p.link, p.keys, status, inputs, p.clock};
    return command(ctx) ? 0 : 1;
}

}  // namespace

int runWrite(const std::vector<std::string>& args) {
    CliInputs inputs;
    if (const int bad = parseProgramArgs(args, "--erase-all --csm", "write", inputs); bad >= 0) return bad;
    return runCommand(inputs, onTargetWrite);
}

int runPodWrite(const std::vector<std::string>& args) {
    CliInputs inputs;
    if (const int bad = parseProgramArgs(args, "--erase-all --csm --name", "pod-write", inputs); bad >= 0) return bad;
    return runCommand(inputs, onPodWrite);
}

int runPodVerify(const std::vector<std::string>& args) {
    CliInputs inputs;
    if (const int bad = parseProgramArgs(args, "", "pod-verify", inputs); bad >= 0) return bad;
    return runCommand(inputs, onPodVerify);
}

int runReset(const std::vector<std::string>& args) {
    if (!args.empty()) return usageError("reset takes no arguments");
    CliInputs inputs;
    return runCommand(inputs, onTargetReset);
}

int runPodInfo(const std::vector<std::string>& args) {
    if (!args.empty()) return usageError("pod-info takes no arguments");
    CliInputs inputs;
    return runCommand(inputs, onPodInfo);
}

int runProbe(const std::vector<std::string>& args) {
    if (!args.empty()) return usageError("probe takes no arguments");
    Programmer p;
    TerminalStatus status;
    p.link.probePod(status);
    return p.link.podFound() ? 0 : 1;
}

}  // namespace cvl::cli
