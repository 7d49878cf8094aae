#include "cli/CliSession.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <utility>
#include <nlohmann/json.hpp>

#include "cli/BoardJson.h"
#include "cli/CliReport.h"
#include "common/JsonText.h"
#include "platform/Files.h"
#include "common/Text.h"
#include "pod/PodChoice.h"
#include "pod/SystemBackends.h"

namespace cvl::cli {

CliSession::CliSession(const ParsedArgs& args)
    : link(systemBackendsNaming(args.valuesOf("--pod")), clock), status(args.has("--json")), json_(args.has("--json")) {
    if (const auto traceFile = args.value("--trace")) {
        trace_ = InterruptibleTrace::open(*traceFile, clock, error_);
        if (trace_ == nullptr) return;
        link.setObserver(trace_.get());
    }
    link.loadDriver();
    warnAboutPodFolder();
}

CliSession::~CliSession() {
    std::string ignored;
    closeTrace(ignored);
}

bool CliSession::closeTrace(std::string& error) {
    link.setObserver(nullptr);
    link.closePod();
    if (trace_ == nullptr) return true;
    const bool whole = trace_->finish(error);
    trace_.reset();
    return whole;
}

OutcomeCode CliSession::choosePod(const ParsedArgs& args) {
    const std::vector<std::string> names = args.valuesOf("--pod");
    const PodMatch match = matchPods(link.listPods(), names);
    // With no pod attached and none named, the command itself says so when it
    // connects; a pod plugged in meanwhile is not taken either.
    if (match.code == OutcomeCode::PodNotFound && names.empty()) {
        link.useNoPod();
        return OutcomeCode::Ok;
    }
    if (match.code != OutcomeCode::Ok) {
        std::string message(outcomeMessage(match.code));
        if (!match.detail.empty()) message += ": " + match.detail;
        status.showMessage(message, true);
        return match.code;
    }
    const PodInfo& pod = match.pods.front();
    link.usePodOnly(pod);
    if (!json_) printChosenPod(pod);
    warnAboutPod(pod);
    return OutcomeCode::Ok;
}

void printWarnings(const CoffImage& image) {
    for (const std::string& w : image.warnings) std::fprintf(stderr, "%s\n", escapeControls(w).c_str());
}

nlohmann::ordered_json podJson(const PodInfo& pod) {
    nlohmann::ordered_json out;
    putText(out, "description", pod.description);
    putText(out, "serialNumber", pod.serialNumber);
    putText(out, "devicePath", pod.devicePath);
    out["backend"] = pod.backend;
    if (!pod.alsoPath.empty()) {
        putText(out, "alsoDevicePath", pod.alsoPath);
        out["alsoBackend"] = pod.alsoBackend;
    }
    return out;
}

int CliSession::finish(const char* command, const CommandOutcome& outcome, const std::string& file,
                       const char* device) {
    // A trace that could not be written in full fails the command: the user asked for it.
    std::string traceError;
    const bool traced = closeTrace(traceError);
    if (!traced) std::fprintf(stderr, "corvexlink-cli: %s\n", traceError.c_str());
    const int exitStatus = outcome.ok() && traced ? 0 : 1;
    if (!json_) return exitStatus;
    BoardRecord board;
    board.command = command;
    board.outcome = outcome;
    board.messages = status.messages();
    if (device != nullptr) {
        board.program = file;
        board.device = device;
        if (!board.outcome.program) board.outcome.program = programFigures(image, false);
        board.warnings = image.warnings;
    }
    nlohmann::ordered_json out = boardJson(board, device != nullptr);
    out["exitStatus"] = exitStatus;
    if (!traced) putText(out, "traceError", traceError);
    std::cout << jsonText(out) << '\n';
    return exitStatus;
}

}  // namespace cvl::cli
