#include "PodCliCommands.h"

#include <cstdio>

#include "CliSession.h"
#include "StoreOperations.h"
#include "TargetCommands.h"
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
    return -1;
}

struct CommandEntry {
    const char* name;
    const char* options;  // the options it takes besides --device; "-" for none and no FILE
    bool (*run)(CommandContext&);
    bool figures;  // the JSON object carries the program's figures
};

int runPodCommand(const CommandEntry& entry, std::vector<std::string> args) {
    CommonOptions common;
    if (auto bad = extractCommonOptions(args, common)) return usageError(*bad);
    if (common.help) {
        std::fputs(commandHelp(entry.name).c_str(), stdout);
        return 0;
    }
    CliInputs inputs;
    const bool takesFile = std::string(entry.options) != "-";
    if (!takesFile && !args.empty()) return usageError(std::string(entry.name) + " takes no arguments");
    if (takesFile) {
        if (const int bad = parseProgramArgs(args, entry.options, entry.name, inputs); bad >= 0) return bad;
        if (inputs.file.empty()) return usageError(std::string(entry.name) + " needs a FILE");
    }
    CliSession session(common);
    if (!session.error().empty()) return usageError(session.error());
    CommandContext ctx{session.image, session.link, session.keys, session.status, inputs, session.clock};
    const bool ok = entry.run(ctx);
    return session.finish(entry.name, ok, entry.figures ? &inputs : nullptr);
}

bool probe(CommandContext& ctx) {
    ctx.link.probePod(ctx.status);
    return ctx.link.podFound();
}

}  // namespace

int runWrite(const std::vector<std::string>& args) {
    return runPodCommand({"write", "--erase-all --csm", onTargetWrite, true}, args);
}
int runPodWrite(const std::vector<std::string>& args) {
    return runPodCommand({"pod-write", "--erase-all --csm --name", onPodWrite, true}, args);
}
int runPodVerify(const std::vector<std::string>& args) {
    return runPodCommand({"pod-verify", "", onPodVerify, true}, args);
}
int runReset(const std::vector<std::string>& args) { return runPodCommand({"reset", "-", onTargetReset, false}, args); }
int runPodInfo(const std::vector<std::string>& args) {
    return runPodCommand({"pod-info", "-", onPodInfo, false}, args);
}
int runProbe(const std::vector<std::string>& args) { return runPodCommand({"probe", "-", probe, false}, args); }

}  // namespace cvl::cli
