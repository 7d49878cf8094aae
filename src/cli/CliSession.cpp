#include "cli/CliSession.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <utility>
#include <nlohmann/json.hpp>

#include "cli/JsonText.h"
#include "common/PrivateFile.h"
#include "common/Text.h"
#include "pod/SystemBackends.h"

namespace cvl::cli {

CliSession::CliSession(const ParsedArgs& args)
    : link(loadSystemBackends, clock),
      status(args.has("--json")),
      json_(args.has("--json")),
      startUs_(clock.nowMicros()) {
    if (const auto traceFile = args.value("--trace")) {
        tracePath_ = *traceFile;
        traceFile_ = openPrivateOutput(tracePath_, error_);
        if (traceFile_ == nullptr) return;
        trace_ = std::make_unique<InterruptibleTrace>(traceFile_, clock);
        link.setObserver(trace_.get());
    }
    link.loadDriver();
}

CliSession::~CliSession() {
    std::string ignored;
    closeTrace(ignored);
}

bool CliSession::closeTrace(std::string& error) {
    link.setObserver(nullptr);
    link.closePod();
    trace_.reset();  // writes the last line
    std::FILE* file = std::exchange(traceFile_, nullptr);
    return closePrivateOutput(file, tracePath_, error);
}

std::string describePod(const PodInfo& pod) {
    return (pod.serialNumber.empty() ? std::string("(no serial number)") : pod.serialNumber) + " at " + pod.devicePath +
           " (" + pod.backend + ")";
}

OutcomeCode CliSession::choosePod(const ParsedArgs& args) {
    const auto wanted = args.value("--pod");
    if (wanted) {
        link.setPodFilter([w = *wanted](const PodInfo& pod) { return pod.serialNumber == w || pod.devicePath == w; });
    } else {
        const std::vector<PodInfo> pods = link.listPods();
        if (pods.size() > 1) {
            status.showMessage(outcomeMessage(OutcomeCode::PodChoiceAmbiguous), true);
            if (!json_) {
                for (const PodInfo& pod : pods) std::fprintf(stderr, "  %s\n", describePod(pod).c_str());
            }
            return OutcomeCode::PodChoiceAmbiguous;
        }
    }
    if (link.findPod() && !json_) std::printf("Corvexlink POD %s\n", describePod(*link.pod()).c_str());
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
    nlohmann::ordered_json messages = nlohmann::ordered_json::array();
    for (const auto& [text, isError] : status.messages()) {
        nlohmann::ordered_json m;
        putText(m, "text", text);
        m["isError"] = isError;
        messages.push_back(std::move(m));
    }
    nlohmann::ordered_json out = {
        {"command", command}, {"result", std::string(outcomeName(outcome.code))}, {"exitStatus", exitStatus}};
    putText(out, "message", status.lastMessage());
    out["isError"] = status.lastIsError();
    out["elapsedSeconds"] = static_cast<double>(clock.nowMicros() - startUs_) * 1e-6;
    out["messages"] = std::move(messages);
    if (!traced) putText(out, "traceError", traceError);
    if (device != nullptr) {
        const ProgramFigures p = outcome.program.value_or(programFigures(image, false));
        nlohmann::ordered_json figures;
        putText(figures, "file", file);
        figures["device"] = device;
        figures["loaded"] = p.loaded;
        putText(figures, "fileName", p.fileName);
        figures["sectionCount"] = p.sectionCount;
        figures["flashSectionCount"] = p.flashSectionCount;
        figures["flashBytes"] = p.flashBytes;
        figures["ramSectionCount"] = p.ramSectionCount;
        figures["ramBytes"] = p.ramBytes;
        figures["eraseMask"] = p.eraseMask;
        putText(figures, "podFileName", outcome.podFileName);
        out["figures"] = std::move(figures);
        out["warnings"] = image.warnings;
    }
    if (outcome.pod) out["pod"] = podJson(*outcome.pod);
    if (outcome.podVersion) out["podVersion"] = *outcome.podVersion;
    std::cout << jsonText(out) << '\n';
    return exitStatus;
}

}  // namespace cvl::cli
