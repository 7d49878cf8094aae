#include "cli/PodCommandRun.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

#include "cli/BoardJson.h"
#include "cli/CliReport.h"
#include "cli/TerminalStatus.h"
#include "cli/InterruptibleTrace.h"
#include "common/JsonText.h"
#include "platform/Files.h"
#include "common/Text.h"
#include "line/stores/LineStores.h"
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

// A single pod's document is its board record, with the load's lines
// before the command's, and the run's exit status.
void printOnePod(const LineOutcome& line, bool program, int exitStatus, const std::string& traceError) {
    BoardRecord board = line.boards.front();
    if (line.refused == OutcomeCode::Ok)
        board.messages.insert(board.messages.begin(), line.loadMessages.begin(), line.loadMessages.end());
    nlohmann::ordered_json doc = boardJson(board, program);
    // Boards programmed whose records were not stored are no success.
    if (line.recordFailure != OutcomeCode::Ok && board.outcome.ok()) {
        doc["result"] = std::string(outcomeName(line.recordFailure));
        doc["isError"] = true;
    }
    if (!line.recordErrors.empty()) doc["recordErrors"] = line.recordErrors;
    doc["exitStatus"] = exitStatus;
    if (!traceError.empty()) putText(doc, "traceError", traceError);
    std::cout << jsonText(doc) << '\n';
}

void printSeveralPods(const PodCommandJob& job, const LineOutcome& line, int exitStatus) {
    std::vector<nlohmann::ordered_json> boards;
    for (const BoardRecord& b : line.boards) boards.push_back(boardJson(b, job.program));
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
    if (!line.recordErrors.empty()) doc["recordErrors"] = line.recordErrors;
    std::cout << jsonText(doc) << '\n';
}

void printSummary(const LineOutcome& line) {
    std::size_t succeeded = 0;
    for (const BoardRecord& b : line.boards) {
        if (b.outcome.ok()) ++succeeded;
        std::printf("%s: %s (%s)\n", podDescription(b.pod).c_str(), escapeControls(b.outcome.message).c_str(),
                    std::string(outcomeName(b.outcome.code)).c_str());
    }
    std::printf("%zu of %zu pods succeeded\n", succeeded, line.boards.size());
}

void printRecordErrors(const LineOutcome& line) {
    for (const std::string& e : line.recordErrors)
        std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(e).c_str());
    if (line.logIncomplete) std::fprintf(stderr, "corvexlink-cli: the log could not be written in full\n");
    if (line.ledgerIncomplete)
        std::fprintf(stderr, "corvexlink-cli: the ledger could not record every number's outcome\n");
}

// The ledger and the log the options name, opened; or the refusal, printed.
struct LineStoresOpened {
    std::unique_ptr<SerialLedger> ledger;
    std::unique_ptr<BoardLog> log;
    std::optional<int> refused;
};

LineStoresOpened openStores(const ParsedArgs& args) {
    LineStoresOpened out;
    std::string error;
    if (const auto ledgerPath = args.value("--serial-ledger")) {
        out.ledger = openSerialLedger(*ledgerPath, LedgerUse::Take, error);
        if (!out.ledger) return out.refused = refuse(args, OutcomeCode::LedgerFailed, error), std::move(out);
        out.ledger->setRange(serialStart(args), maxSerial(args));
    }
    const auto logPath = args.value("--log");
    if (logPath && !(out.log = openBoardLog(*logPath, error, out.ledger.get())))
        out.refused = refuse(args, OutcomeCode::LogFailed, error);
    return out;
}

LineRequest lineRequest(const PodCommandJob& job, const ParsedArgs& args) {
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
    return request;
}

// Each pod's lines: as any command's with one pod (a progress bar on a
// terminal), prefixed with the pod's name with several, none with --json.
SinkFactory podSinks(const ParsedArgs& args, std::mutex& out) {
    return [&args, &out](const PodInfo& pod) -> std::unique_ptr<StatusSink> {
        if (args.json()) return nullptr;
        if (!several(args)) return std::make_unique<TerminalStatus>();
        const std::string& name = pod.serialNumber.empty() ? pod.devicePath : pod.serialNumber;
        return std::make_unique<PodLines>(escapeControls(name), out);
    };
}

// What is shown before any pod is touched: the pod a single command uses
// and advice about each pod's connection, the run's lines, the warnings.
LineWatch watchLine(const ParsedArgs& args, StatusSink& runStatus) {
    LineWatch watch;
    watch.runStatus = &runStatus;
    watch.podsChosen = [&args](const std::vector<PodInfo>& pods) {
        if (!args.json() && !several(args) && !pods.empty()) printChosenPod(pods.front());
        for (const PodInfo& pod : pods) warnAboutPod(pod);
        std::fflush(stdout);
    };
    if (args.json()) return watch;
    watch.programRead = [](const LineOutcome& sofar) { printWarnings(sofar.warnings); };
    return watch;
}

}  // namespace

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

int runPodCommand(const PodCommandJob& job, const ParsedArgs& args) {
    LineStoresOpened stores = openStores(args);
    if (stores.refused) return *stores.refused;
    std::string error;
    SteadyClock clock;
    std::unique_ptr<InterruptibleTrace> trace;
    if (const auto tracePath = args.value("--trace");
        tracePath && !(trace = InterruptibleTrace::open(*tracePath, clock, error)))
        return refuse(args, OutcomeCode::OutputFailed, error);
    warnAboutPodFolder();

    LineRequest request = lineRequest(job, args);
    request.serials = stores.ledger.get();
    request.log = stores.log.get();
    request.trace = trace.get();
    std::mutex out;
    TerminalStatus runStatus(args.json());
    const LineOutcome line =
        runLine(request, systemBackendsNaming(request.pods), podSinks(args, out), watchLine(args, runStatus));

    // A trace that could not be written in full fails the command: the user asked for it.
    std::string traceError;
    if (trace != nullptr && !trace->finish(traceError))
        std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(traceError).c_str());
    const bool traced = traceError.empty();
    const bool oneBoard = !several(args) && line.boards.size() == 1;
    const bool refusalShown = line.refused != OutcomeCode::Ok && !line.boards.empty();
    if (line.refused != OutcomeCode::Ok && !(oneBoard && args.json())) {
        // A refusal with records (the load's, the one pod's choice) is on the screen already.
        if (refusalShown && !args.json()) return 1;
        return refuseWith(args, line.refused, line.refusal);
    }
    printRecordErrors(line);
    const int exitStatus = line.allSucceeded() && traced ? 0 : 1;
    if (args.json() && oneBoard) {
        printOnePod(line, job.program, exitStatus, traceError);
    } else if (args.json()) {
        printSeveralPods(job, line, exitStatus);
    } else if (several(args)) {
        printSummary(line);
    }
    return exitStatus;
}

}  // namespace cvl::cli
