#include "cli/PodCliCommands.h"

#include <array>
#include <iostream>

#include "cli/BoardJson.h"
#include "cli/PodCommandRun.h"
#include "cli/TerminalStatus.h"
#include "common/JsonText.h"
#include "common/Text.h"
#include "store/StoreJob.h"
#include "command/CsmKeyText.h"
#include "command/StoreCommands.h"
#include "command/TargetCommands.h"
#include "cli/CliReport.h"
#include "pod/PodChoice.h"
#include "pod/SystemBackends.h"

namespace cvl::cli {

namespace {

// Splits "K0,K1,...,K7" into the eight key texts: exactly eight words of 1 to
// 4 hexadecimal digits, or the text of what is wrong (naming the word).
std::optional<std::array<std::string, 8>> splitKeys(const std::string& text, std::string& error) {
    std::array<std::string, 8> keys;
    std::size_t start = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::size_t comma = text.find(',', start);
        if ((comma == std::string::npos) != (i == keys.size() - 1)) {
            error = "--csm needs exactly eight words KEY0,KEY1,...,KEY7";
            return std::nullopt;
        }
        keys[i] = text.substr(start, comma - start);
        const bool hex = !keys[i].empty() && keys[i].size() <= 4 &&
                         keys[i].find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        if (!hex) {
            error = "--csm word " + std::to_string(i) + " ('" + escapeControls(keys[i]) +
                    "') is not 1 to 4 hexadecimal digits";
            return std::nullopt;
        }
        start = comma + 1;
    }
    return keys;
}

// The options every program command shares, as the request's parts.
struct ProgramOptions {
    ProgramSource program;
    EraseMode eraseMode = EraseMode::Intelligent;
    std::optional<CsmKeys> keys;
    LockConsent lock = LockConsent::None;
};

std::optional<ProgramOptions> programOptions(const ParsedArgs& args, std::string& error) {
    ProgramOptions out;
    out.program.path = args.file;
    if (const auto bad = readDeviceAndBase(args, false, out.program.device, out.program.binaryBase)) {
        return error = *bad, std::nullopt;
    }
    if (args.has("--erase-all")) out.eraseMode = EraseMode::All;
    if (args.has("--lock")) out.lock = LockConsent::Lock;
    if (args.has("--allow-permanent-lock")) out.lock = LockConsent::PermanentLock;
    if (const auto csm = args.value("--csm")) {
        const auto texts = splitKeys(*csm, error);
        if (!texts) return std::nullopt;
        out.keys = keysFromTexts(*texts);
    }
    return out;
}

// Runs one pod command: builds the request from the options and runs it on
// the pods chosen.
// program: the command takes a program file; noFile: what it says when the file's name is blank.
template <typename Build, typename Run>
int runCommand(const char* name, const ParsedArgs& args, bool program, OutcomeCode noFile, Build build, Run run) {
    std::string error;
    const auto options = programOptions(args, error);
    if (!options) return usageError(args, error);
    if (const auto bad = lineOptionError(args)) return usageError(args, *bad);
    if (const auto shared = filesNamedTwice(args, program)) return usageError(args, *shared);
    const auto request = build(*options);
    return runPodCommand({name, program, noFile, options->program, options->eraseMode == EraseMode::All,
                          [&](CommandContext& ctx) { return run(ctx, request); }},
                         args);
}

}  // namespace

int runWrite(const ParsedArgs& args) {
    return runCommand(
        "write", args, true, OutcomeCode::NoFileToWrite,
        [](const ProgramOptions& o) {
            return TargetWriteRequest{o.program, o.eraseMode, o.keys, o.lock};
        },
        [](CommandContext& ctx, const TargetWriteRequest& r) { return targetWrite(ctx, r); });
}

int runPodWrite(const ParsedArgs& args) {
    if (const auto name = args.value("--name"); name && name->size() > kPodNameBytes) {
        return usageError(args, "--name takes at most " + std::to_string(kPodNameBytes) + " bytes, '" +
                                    escapeControls(*name) + "' has " + std::to_string(name->size()));
    }
    return runCommand(
        "pod-write", args, true, OutcomeCode::NoFileToStore,
        [&](const ProgramOptions& o) {
            return PodWriteRequest{o.program, o.eraseMode, o.keys, args.value("--name").value_or(""), o.lock};
        },
        [](CommandContext& ctx, const PodWriteRequest& r) { return podWrite(ctx, r); });
}

int runPodVerify(const ParsedArgs& args) {
    return runCommand(
        "pod-verify", args, true, OutcomeCode::NoFileToVerify,
        [](const ProgramOptions& o) { return PodVerifyRequest{o.program}; },
        [](CommandContext& ctx, const PodVerifyRequest& r) { return podVerify(ctx, r); });
}

int runReset(const ParsedArgs& args) {
    return runCommand(
        "reset", args, false, OutcomeCode::Ok, [](const ProgramOptions&) { return ResetRequest{}; },
        [](CommandContext& ctx, const ResetRequest& r) { return targetReset(ctx, r); });
}

int runPodInfo(const ParsedArgs& args) {
    return runCommand(
        "pod-info", args, false, OutcomeCode::Ok, [](const ProgramOptions&) { return PodInfoRequest{}; },
        [](CommandContext& ctx, const PodInfoRequest& r) { return podInfo(ctx, r); });
}

// The pods probe names, or why it fails: every pod attached (at least one
// must be), or each one named.
PodMatch probedPods(PodLink& link, const ParsedArgs& args) {
    PodMatch found;
    if (!link.loadDriver()) return found.code = OutcomeCode::DriverMissing, found;
    const std::vector<PodInfo> listed = link.listPods();
    const std::vector<std::string> names = args.valuesOf("--pod");
    if (!names.empty()) return matchPods(listed, names);
    found.pods = listed;
    if (found.pods.empty()) found.code = OutcomeCode::PodNotFound;
    return found;
}

int runProbe(const ParsedArgs& args) {
    if (args.has("--all-pods") && args.value("--pod"))
        return usageError(args, "--all-pods and --pod exclude each other");
    SteadyClock clock;
    PodLink link(systemBackendsNaming(args.valuesOf("--pod")), clock);
    TerminalStatus status(args.json());
    warnAboutPodFolder();
    const PodMatch found = probedPods(link, args);
    CommandOutcome outcome;
    outcome.code = found.code;
    if (outcome.ok()) {
        for (const PodInfo& pod : found.pods) {
            status.showMessage(connectionMessage(pod), false);
            if (!args.json()) printChosenPod(pod);
        }
        if (found.pods.size() == 1) outcome.pod = found.pods.front();
    } else {
        status.showMessage(outcomeMessageWith(outcome.code, found.detail), true);
    }
    outcome.message = status.lastMessage();
    if (!args.json()) return outcome.ok() ? 0 : 1;
    BoardRecord board;
    board.command = "probe";
    board.outcome = outcome;
    board.messages = status.messages();
    nlohmann::ordered_json out = boardJson(board, false);
    out["exitStatus"] = outcome.ok() ? 0 : 1;
    std::cout << jsonText(out) << '\n';
    return outcome.ok() ? 0 : 1;
}

}  // namespace cvl::cli

namespace cvl::cli {

int runPods(const ParsedArgs& args) {
    SteadyClock clock;
    PodLink link(systemBackendsNaming(args.valuesOf("--pod")), clock);
    link.loadDriver();
    warnAboutPodFolder();
    const std::vector<PodInfo> pods = link.listPods();
    if (args.has("--json")) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const PodInfo& pod : pods) list.push_back(podJson(pod));
        std::printf("%s\n", jsonText(list).c_str());
    } else if (pods.empty()) {
        std::fprintf(stderr, "%s\n", std::string(outcomeMessage(OutcomeCode::PodNotFound)).c_str());
    } else {
        for (const PodInfo& pod : pods) std::printf("%s\n", podDescription(pod).c_str());
    }
    return pods.empty() ? 1 : 0;
}

}  // namespace cvl::cli
