#include "cli/BoardJson.h"

#include "cli/CliReport.h"
#include "common/JsonText.h"

namespace cvl::cli {

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

nlohmann::ordered_json boardJson(const BoardRecord& b, bool program) {
    const CommandOutcome& o = b.outcome;
    nlohmann::ordered_json out = {{"command", b.command}, {"result", std::string(outcomeName(o.code))}};
    putText(out, "message", b.messages.empty() ? o.message : b.messages.back().first);
    out["isError"] = b.messages.empty() ? !o.ok() : b.messages.back().second;
    // As the command timed itself; null for the commands that do not.
    out["elapsedSeconds"] = o.elapsed
                                ? nlohmann::ordered_json(jsonSeconds(static_cast<double>(o.elapsed->count()) / 1000))
                                : nlohmann::ordered_json(nullptr);
    nlohmann::ordered_json messages = nlohmann::ordered_json::array();
    for (const auto& [text, isError] : b.messages) {
        nlohmann::ordered_json m;
        putText(m, "text", text);
        m["isError"] = isError;
        messages.push_back(std::move(m));
    }
    out["messages"] = std::move(messages);
    if (program) {
        const ProgramFigures p = o.program.value_or(ProgramFigures{});
        nlohmann::ordered_json figures;
        putText(figures, "file", b.program);
        figures["device"] = b.device;
        figures["loaded"] = p.loaded;
        putText(figures, "fileName", p.fileName);
        figures["sectionCount"] = p.sectionCount;
        figures["flashSectionCount"] = p.flashSectionCount;
        figures["flashBytes"] = p.flashBytes;
        figures["ramSectionCount"] = p.ramSectionCount;
        figures["ramBytes"] = p.ramBytes;
        figures["eraseMask"] = p.eraseMask;
        putText(figures, "podFileName", o.podFileName);
        out["figures"] = std::move(figures);
        out["warnings"] = b.warnings;
    }
    out["pod"] = o.pod ? podJson(*o.pod) : nlohmann::ordered_json(nullptr);
    if (o.podVersion) out["podVersion"] = *o.podVersion;
    out["serialNumber"] = b.serialNumber ? nlohmann::ordered_json(*b.serialNumber) : nlohmann::ordered_json(nullptr);
    const PhaseTimes& t = o.phases;
    out["phasesMs"] = {{"boot", jsonMs(t.boot)},           {"algorithm", jsonMs(t.algorithm)},
                       {"flashInit", jsonMs(t.flashInit)}, {"erase", jsonMs(t.erase)},
                       {"program", jsonMs(t.program)},     {"reset", jsonMs(t.reset)}};
    return out;
}

}  // namespace cvl::cli
