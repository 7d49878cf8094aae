#include "cli/BoardJson.h"

#include "cli/CliReport.h"
#include "cli/CliSession.h"
#include "cli/JsonText.h"

namespace cvl::cli {

nlohmann::ordered_json boardJson(const BoardReport& b) {
    nlohmann::ordered_json out = {{"command", b.command}, {"result", std::string(outcomeName(b.outcome.code))}};
    const std::string last = b.messages.empty() ? b.outcome.message : b.messages.back().first;
    putText(out, "message", last);
    out["isError"] = b.messages.empty() ? !b.outcome.ok() : b.messages.back().second;
    // As the command timed itself; null for the commands that do not.
    out["elapsedSeconds"] =
        b.outcome.elapsed ? nlohmann::ordered_json(jsonSeconds(static_cast<double>(b.outcome.elapsed->count()) / 1000))
                          : nlohmann::ordered_json(nullptr);
    nlohmann::ordered_json messages = nlohmann::ordered_json::array();
    for (const auto& [text, isError] : b.messages) {
        nlohmann::ordered_json m;
        putText(m, "text", text);
        m["isError"] = isError;
        messages.push_back(std::move(m));
    }
    out["messages"] = std::move(messages);
    if (b.program) {
        const ProgramFigures& p = b.figures;
        nlohmann::ordered_json figures;
        putText(figures, "file", b.file);
        figures["device"] = b.device;
        figures["loaded"] = p.loaded;
        putText(figures, "fileName", p.fileName);
        figures["sectionCount"] = p.sectionCount;
        figures["flashSectionCount"] = p.flashSectionCount;
        figures["flashBytes"] = p.flashBytes;
        figures["ramSectionCount"] = p.ramSectionCount;
        figures["ramBytes"] = p.ramBytes;
        figures["eraseMask"] = p.eraseMask;
        putText(figures, "podFileName", b.outcome.podFileName);
        out["figures"] = std::move(figures);
        out["warnings"] = b.warnings;
    }
    out["pod"] = b.outcome.pod ? podJson(*b.outcome.pod) : nlohmann::ordered_json(nullptr);
    if (b.outcome.podVersion) out["podVersion"] = *b.outcome.podVersion;
    out["serialNumber"] = b.serialNumber ? nlohmann::ordered_json(*b.serialNumber) : nlohmann::ordered_json(nullptr);
    const PhaseTimes& t = b.outcome.phases;
    out["phasesMs"] = {{"boot", jsonMs(t.boot)},           {"algorithm", jsonMs(t.algorithm)},
                       {"flashInit", jsonMs(t.flashInit)}, {"erase", jsonMs(t.erase)},
                       {"program", jsonMs(t.program)},     {"reset", jsonMs(t.reset)}};
    return out;
}

}  // namespace cvl::cli
