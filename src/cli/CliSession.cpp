#include "CliSession.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>

#include "SystemDriver.h"

namespace cvl::cli {

std::optional<std::string> extractCommonOptions(std::vector<std::string>& args, CommonOptions& options) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            options.json = true;
        } else if (args[i] == "--help" || args[i] == "-h") {
            options.help = true;
        } else if (args[i] == "--trace") {
            if (i + 1 >= args.size()) return "--trace needs a FILE";
            options.traceFile = args[++i];
        } else {
            rest.push_back(args[i]);
        }
    }
    args = std::move(rest);
    return std::nullopt;
}

CliSession::CliSession(const CommonOptions& options)
    : link(loadSystemDriver, clock), status(options.json), json_(options.json), startUs_(clock.nowMicros()) {
    if (!options.traceFile.empty()) {
        traceFile_ = std::fopen(options.traceFile.c_str(), "w");
        if (traceFile_ == nullptr) {
            error_ = options.traceFile + ": " + std::strerror(errno);
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

int CliSession::finish(const char* command, bool succeeded, const CliInputs* inputs) {
    const int exitStatus = succeeded ? 0 : 1;
    if (!json_) return exitStatus;
    nlohmann::ordered_json messages = nlohmann::ordered_json::array();
    for (const auto& [text, isError] : status.messages()) messages.push_back({{"text", text}, {"isError", isError}});
    nlohmann::ordered_json out = {
        {"command", command},
        {"result", succeeded ? "Ok" : "Failed"},
        {"exitStatus", exitStatus},
        {"message", status.lastMessage()},
        {"isError", status.lastIsError()},
        {"elapsedSeconds", static_cast<double>(clock.nowMicros() - startUs_) * 1e-6},
        {"messages", messages},
    };
    if (inputs != nullptr) {
        const ImageSummary& s = image.summary;
        out["figures"] = {{"file", inputs->file},
                          {"device", mcuInfo(inputs->device)->shortName},
                          {"loaded", image.imageLoaded == 1},
                          {"fileName", image.fileName},
                          {"sectionCount", image.sectionCount()},
                          {"flashSectionCount", s.flashSectionCount},
                          {"flashBytes", s.flashBytes},
                          {"ramSectionCount", s.ramSectionCount},
                          {"ramBytes", s.ramBytes},
                          {"eraseMask", image.eraseSectorMask(inputs->eraseAll)},
                          {"podFileName", inputs->podName}};
    }
    if (link.podVersion != 0) out["podVersion"] = link.podVersion;
    std::cout << out.dump() << '\n';
    return exitStatus;
}

}  // namespace cvl::cli
