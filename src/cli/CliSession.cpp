#include "cli/CliSession.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>

#include "pod/SystemBackends.h"

namespace cvl::cli {

CliSession::CliSession(const ParsedArgs& args)
    : link(loadSystemBackends, clock),
      status(args.has("--json")),
      json_(args.has("--json")),
      startUs_(clock.nowMicros()) {
    if (const auto traceFile = args.value("--trace")) {
        traceFile_ = std::fopen(traceFile->c_str(), "w");
        if (traceFile_ == nullptr) {
            error_ = *traceFile + ": " + std::strerror(errno);
            return;
        }
        trace_ = std::make_unique<TextTrace>(traceFile_);
        linkTrace_ = std::make_unique<LinkTrace>(*trace_, clock);
        link.setObserver(linkTrace_.get());
    }
    link.loadDriver();
}

CliSession::~CliSession() {
    link.setObserver(nullptr);
    link.closePod();
    trace_.reset();  // flushes the last line
    if (traceFile_ != nullptr) std::fclose(traceFile_);
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

void CliSession::printWarnings() {
    if (json_) return;
    for (const std::string& w : image.warnings) std::fprintf(stderr, "%s\n", w.c_str());
}

nlohmann::ordered_json podJson(const PodInfo& pod) {
    return {{"description", pod.description},
            {"serialNumber", pod.serialNumber},
            {"devicePath", pod.devicePath},
            {"backend", pod.backend}};
}

int CliSession::finish(const char* command, const CommandOutcome& outcome, const std::string& file,
                       const char* device) {
    const int exitStatus = outcome.ok() ? 0 : 1;
    if (!json_) return exitStatus;
    nlohmann::ordered_json messages = nlohmann::ordered_json::array();
    for (const auto& [text, isError] : status.messages()) messages.push_back({{"text", text}, {"isError", isError}});
    nlohmann::ordered_json out = {
        {"command", command},
        {"result", std::string(outcomeName(outcome.code))},
        {"exitStatus", exitStatus},
        {"message", status.lastMessage()},
        {"isError", status.lastIsError()},
        {"elapsedSeconds", static_cast<double>(clock.nowMicros() - startUs_) * 1e-6},
        {"messages", messages},
    };
    if (device != nullptr) {
        const ProgramFigures p = outcome.program.value_or(programFigures(image, false));
        out["figures"] = {{"file", file},
                          {"device", device},
                          {"loaded", p.loaded},
                          {"fileName", p.fileName},
                          {"sectionCount", p.sectionCount},
                          {"flashSectionCount", p.flashSectionCount},
                          {"flashBytes", p.flashBytes},
                          {"ramSectionCount", p.ramSectionCount},
                          {"ramBytes", p.ramBytes},
                          {"eraseMask", p.eraseMask},
                          {"podFileName", outcome.podFileName}};
        out["warnings"] = image.warnings;
    }
    if (outcome.pod) out["pod"] = podJson(*outcome.pod);
    if (outcome.podVersion) out["podVersion"] = *outcome.podVersion;
    std::cout << out.dump() << '\n';
    return exitStatus;
}

}  // namespace cvl::cli
