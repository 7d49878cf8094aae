#include "line/stores/JsonLinesLog.h"

#include "common/JsonText.h"

namespace cvl {

bool JsonLinesLog::open(const std::string& path, std::string& error) { return file_.open(path, error); }

bool JsonLinesLog::append(const BoardRecord& board, std::string& error) {
    return file_.append(boardLogLine(board) + "\n", error);
}

std::string boardLogLine(const BoardRecord& b) {
    nlohmann::ordered_json line;
    line["time"] = b.time;
    putText(line, "host", b.host);
    putText(line, "podSerialNumber", b.pod.serialNumber);
    line["backend"] = b.pod.backend;
    line["device"] = b.device;
    line["command"] = b.command;
    putText(line, "program", b.program);
    line["programSha256"] = b.programSha256;
    line["flashCrc32"] = b.flashCrc32;
    line["eraseMask"] = b.eraseMask;
    line["serialNumber"] = b.serialNumber ? nlohmann::ordered_json(*b.serialNumber) : nlohmann::ordered_json(nullptr);
    line["result"] = std::string(outcomeName(b.outcome.code));
    putText(line, "message", b.outcome.message);
    const PhaseTimes& t = b.outcome.phases;
    line["phasesMs"] = {{"boot", jsonMs(t.boot)},           {"algorithm", jsonMs(t.algorithm)},
                        {"flashInit", jsonMs(t.flashInit)}, {"erase", jsonMs(t.erase)},
                        {"program", jsonMs(t.program)},     {"reset", jsonMs(t.reset)}};
    line["totalMs"] = jsonMs(b.totalMs);
    return jsonText(line);
}

}  // namespace cvl
