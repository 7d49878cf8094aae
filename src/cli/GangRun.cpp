#include "cli/GangRun.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

#include "cli/BoardJson.h"
#include "cli/CliReport.h"
#include "cli/CliSession.h"
#include "cli/InterruptibleTrace.h"
#include "common/JsonText.h"
#include "platform/Files.h"
#include "common/Text.h"
#include "line/LineStores.h"
#include "line/ProductionLine.h"
#include "pod/PodChoice.h"
#include "pod/SystemBackends.h"

namespace cvl::cli {

namespace {

// Status lines of one pod: with several pods each line is prefixed with the
// pod's serial number and written whole under a lock shared by all pods;
// with one pod they read as any single-pod command's lines.
class PodLines : public NullStatusSink {
public:
    PodLines(std::string prefix, std::mutex& out) : prefix_(std::move(prefix)), out_(out) {}
    void showMessage(std::string_view text, bool isError) override {
        const std::lock_guard<std::mutex> lock(out_);
        std::FILE* f = isError ? stderr : stdout;
        if (prefix_.empty()) {
            std::fprintf(f, "%s\n", escapeControls(text).c_str());
        } else {
            std::fprintf(f, "%s: %s\n", prefix_.c_str(), escapeControls(text).c_str());
        }
        std::fflush(f);
    }

private:
    std::string prefix_;
    std::mutex& out_;
};

bool several(const ParsedArgs& args) { return args.has("--all-pods") || args.valuesOf("--pod").size() > 1; }

unsigned serialWidth(const ParsedArgs& args) { return args.value("--serial-width") == "32" ? 32 : 16; }

std::uint64_t maxSerial(const ParsedArgs& args) { return serialWidth(args) == 32 ? 0xFFFFFFFFull : 0xFFFFull; }

std::optional<std::uint64_t> serialStart(const ParsedArgs& args) {
    const auto text = args.value("--serial-start");
    return text ? parseDecimal(*text, maxSerial(args)) : std::nullopt;
}

void printDocument(const GangJob& job, const ParsedArgs& args, const LineOutcome& line, int exitStatus) {
    std::vector<nlohmann::ordered_json> boards;
    for (const BoardRecord& b : line.boards) boards.push_back(boardJson(b, job.program));
    // Boards programmed whose records were not stored are no success.
    nlohmann::ordered_json recordErrors = nlohmann::ordered_json::array();
    for (const std::string& e : line.recordErrors) recordErrors.push_back(e);
    if (!several(args)) {
        nlohmann::ordered_json& doc = boards.front();
        if (line.recordFailure != OutcomeCode::Ok && line.boards.front().outcome.ok()) {
            doc["result"] = std::string(outcomeName(line.recordFailure));
            doc["isError"] = true;
        }
        if (!line.recordErrors.empty()) doc["recordErrors"] = recordErrors;
        doc["exitStatus"] = exitStatus;
        std::cout << jsonText(doc) << '\n';
        return;
    }
    std::size_t succeeded = 0;
    OutcomeCode first = OutcomeCode::Ok;
    for (const BoardRecord& b : line.boards) {
        if (b.outcome.ok()) ++succeeded;
        if (!b.outcome.ok() && first == OutcomeCode::Ok) first = b.outcome.code;
    }
    if (first == OutcomeCode::Ok) first = line.recordFailure;
    const std::size_t pods = line.boards.size();
    nlohmann::ordered_json doc = {
        {"command", job.command},
        {"result", std::string(outcomeName(first))},
        {"message", std::to_string(succeeded) + " of " + std::to_string(pods) + " pods succeeded"},
        {"isError", exitStatus != 0},
        {"exitStatus", exitStatus},
        {"summary", {{"pods", pods}, {"succeeded", succeeded}, {"failed", pods - succeeded}}},
        {"boards", boards}};
    if (!line.recordErrors.empty()) doc["recordErrors"] = recordErrors;
    std::cout << jsonText(doc) << '\n';
}

}  // namespace

bool wantsGang(const ParsedArgs& args) { return several(args) || args.value("--log") || args.value("--serial-at"); }

std::optional<std::string> lineOptionError(const ParsedArgs& args) {
    if (args.has("--all-pods") && args.value("--pod")) return "--all-pods and --pod exclude each other";
    if (args.value("--serial-ledger") && !args.value("--serial-at")) return "--serial-ledger needs --serial-at";
    if (args.value("--serial-at") && !args.value("--serial-ledger")) return "--serial-at needs --serial-ledger FILE";
    if (const auto w = args.value("--serial-width"); w && *w != "16" && *w != "32") return "--serial-width is 16 or 32";
    if (const auto s = args.value("--serial-start"); s && !parseDecimal(*s, maxSerial(args))) {
        return "--serial-start takes a decimal number up to " + std::to_string(maxSerial(args)) + ", not '" + *s + "'";
    }
    if (args.value("--trace") && several(args)) return "--trace takes one pod: give --pod once";
    return std::nullopt;
}

std::optional<std::string> filesNamedTwice(const ParsedArgs& args, bool program) {
    // A database URI names no file: one database holds the ledger and the log.
    const auto file = [&](const char* option) {
        const auto value = args.value(option);
        return value && !isDatabaseUri(*value) ? value : std::nullopt;
    };
    const auto ledger = file("--serial-ledger");
    const auto companion = [&](const char* suffix) { return ledger ? std::optional(*ledger + suffix) : std::nullopt; };
    const auto shared = sharedFile({{"--log", file("--log")},
                                    {"--serial-ledger", ledger},
                                    {"the ledger's -wal file", companion("-wal")},
                                    {"the ledger's -shm file", companion("-shm")},
                                    {"the ledger's -journal file", companion("-journal")},
                                    {"--trace", args.value("--trace")},
                                    {"the program file", program ? std::optional(args.file) : std::nullopt}});
    if (shared) return *shared + " are one file";
    return std::nullopt;
}

int runGang(const GangJob& job, const ParsedArgs& args) {
    const bool json = args.json();
    const bool many = several(args);
    const auto logPath = args.value("--log");
    const auto ledgerPath = args.value("--serial-ledger");
    const auto tracePath = args.value("--trace");
    std::string error;
    std::unique_ptr<SerialLedger> ledger;
    if (ledgerPath) {
        ledger = openSerialLedger(*ledgerPath, LedgerUse::Take, error);
        if (!ledger) return refuse(args, OutcomeCode::LedgerFailed, error);
        ledger->setRange(serialStart(args), maxSerial(args));
    }
    std::unique_ptr<BoardLog> log;
    if (logPath && !(log = openBoardLog(*logPath, error, ledger.get())))
        return refuse(args, OutcomeCode::LogFailed, error);
    SteadyClock clock;
    std::unique_ptr<InterruptibleTrace> trace;
    if (tracePath && !(trace = InterruptibleTrace::open(*tracePath, clock, error)))
        return refuse(args, OutcomeCode::OutputFailed, error);
    warnAboutPodFolder();

    LineRequest request;
    request.command = job.command;
    request.program = job.program;
    request.noFile = job.noFile;
    request.source = job.source;
    request.eraseAll = job.eraseAll;
    request.run = job.run;
    request.allPods = args.has("--all-pods");
    request.pods = args.valuesOf("--pod");
    request.serialAt = args.value("--serial-at");
    request.serialWidth = serialWidth(args);
    request.serials = ledger.get();
    request.log = log.get();
    request.trace = trace.get();

    std::mutex out;
    const auto sinks = [&](const PodInfo& pod) -> std::unique_ptr<StatusSink> {
        if (json) return nullptr;
        const std::string& name = pod.serialNumber.empty() ? pod.devicePath : pod.serialNumber;
        return std::make_unique<PodLines>(many ? escapeControls(name) : "", out);
    };
    const auto starting = [&](const std::vector<PodInfo>& pods, const LineOutcome& sofar) {
        if (json) return;
        if (!many) printChosenPod(pods.front());
        for (const PodInfo& pod : pods) warnAboutPod(pod);
        if (!sofar.loaded.empty()) std::printf("%s\n", escapeControls(sofar.loaded).c_str());
        for (const std::string& w : sofar.warnings) std::fprintf(stderr, "%s\n", escapeControls(w).c_str());
        std::fflush(stdout);
    };
    const LineOutcome line = runLine(request, systemBackendsNaming(request.pods), sinks, starting);
    bool traced = true;
    if (trace != nullptr && !trace->finish(error)) {
        std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(error).c_str());
        traced = false;
    }
    if (line.refused != OutcomeCode::Ok) return refuseWith(args, line.refused, line.refusal);
    for (const std::string& e : line.recordErrors)
        std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(e).c_str());
    if (line.logIncomplete) std::fprintf(stderr, "corvexlink-cli: the log could not be written in full\n");
    if (line.ledgerIncomplete)
        std::fprintf(stderr, "corvexlink-cli: the ledger could not record every number's outcome\n");

    const int exitStatus = line.allSucceeded() && traced ? 0 : 1;
    if (json) {
        printDocument(job, args, line, exitStatus);
    } else if (many) {
        std::size_t succeeded = 0;
        for (const BoardRecord& b : line.boards) {
            if (b.outcome.ok()) ++succeeded;
            std::printf("%s: %s (%s)\n", podDescription(b.pod).c_str(), escapeControls(b.outcome.message).c_str(),
                        std::string(outcomeName(b.outcome.code)).c_str());
        }
        std::printf("%zu of %zu pods succeeded\n", succeeded, line.boards.size());
    }
    return exitStatus;
}

}  // namespace cvl::cli
