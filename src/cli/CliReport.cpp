#include "cli/CliReport.h"

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "common/JsonText.h"
#include "common/Text.h"
#include "pod/PodChoice.h"
#include "pod/SystemBackends.h"

namespace cvl::cli {

namespace {
int report(const std::string& command, bool json, OutcomeCode code, const std::string& message, int exitStatus,
           bool hint) {
    if (json) {
        nlohmann::ordered_json out = {{"command", command}, {"result", std::string(outcomeName(code))}};
        putText(out, "message", message);
        out["isError"] = true;
        out["exitStatus"] = exitStatus;
        std::cout << jsonText(out) << '\n';
    } else {
        std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(message).c_str());
        if (hint) std::fprintf(stderr, "Try 'corvexlink-cli --help'.\n");
    }
    return exitStatus;
}
}  // namespace

int usageError(const std::string& command, bool json, const std::string& what) {
    return report(command, json, OutcomeCode::UsageError, what, kExitUsage, true);
}

int usageError(const ParsedArgs& args, const std::string& what) { return usageError(args.command, args.json(), what); }

int refuse(const ParsedArgs& args, OutcomeCode code, const std::string& detail) {
    return report(args.command, args.json(), code, outcomeMessageWith(code, detail), 1, false);
}

int refuseWith(const ParsedArgs& args, OutcomeCode code, const std::string& message) {
    return report(args.command, args.json(), code, message, 1, false);
}

void printChosenPod(const PodInfo& pod) {
    if (pod.namedOnly) {
        // Nothing says yet that a pod is on it: the handshake will.
        std::printf("Port %s (named with --pod: a pod once it answers)\n", escapeControls(pod.devicePath).c_str());
    } else {
        std::printf("Corvexlink POD %s\n", podDescription(pod).c_str());
    }
}

void warnAboutPod(const PodInfo& pod) {
    const std::string advice = podAdvice(pod);
    if (!advice.empty()) std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(advice).c_str());
}

void printWarnings(const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings) std::fprintf(stderr, "%s\n", escapeControls(w).c_str());
}

void warnAboutPodFolder() {
    for (const std::string& warning : backendWarnings())
        std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(warning).c_str());
}

}  // namespace cvl::cli
