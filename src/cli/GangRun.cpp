#include "cli/GangRun.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/BoardJson.h"
#include "cli/CliReport.h"
#include "cli/CliSession.h"
#include "cli/InterruptibleTrace.h"
#include "cli/JsonText.h"
#include "cli/TerminalStatus.h"
#include "command/SerialLedger.h"
#include "common/PrivateFile.h"
#include "common/Sha256.h"
#include "common/Text.h"
#include "common/Crc32.h"
#include "image/SymbolTable.h"
#include "pod/PodChoice.h"
#include "pod/SystemBackends.h"

namespace cvl::cli {

namespace {

// Status lines of one pod: with several pods each line is prefixed with the
// pod's serial number and written whole under a lock shared by all pods;
// with one pod they read as any single-pod command's lines.
class PodLines : public NullStatusSink {
public:
    PodLines(std::string prefix, std::mutex& out, bool quiet) : prefix_(std::move(prefix)), out_(out), quiet_(quiet) {}
    void showMessage(std::string_view text, bool isError) override {
        messages.emplace_back(std::string(text), isError);
        if (quiet_) return;
        const std::lock_guard<std::mutex> lock(out_);
        std::FILE* f = isError ? stderr : stdout;
        if (prefix_.empty()) {
            std::fprintf(f, "%s\n", escapeControls(text).c_str());
        } else {
            std::fprintf(f, "%s: %s\n", prefix_.c_str(), escapeControls(text).c_str());
        }
        std::fflush(f);
    }
    std::vector<std::pair<std::string, bool>> messages;

private:
    std::string prefix_;
    std::mutex& out_;
    bool quiet_;
};

struct PodRun {
    PodInfo pod;
    std::optional<std::uint64_t> serial;
    CommandOutcome outcome;
    std::uint32_t flashCrc = 0;
    double totalMs = 0;
    ProgramFigures figures;
    std::unique_ptr<PodLines> lines;
};

bool several(const ParsedArgs& args) { return args.has("--all-pods") || args.values_of("--pod").size() > 1; }

std::uint32_t flashCrc(const CoffImage& image) {
    std::uint32_t crc = 0;
    for (const SectionRecord& s : image.sections) {
        if (s.inFlash != 0) crc = crc32(s.data, std::size_t{s.lengthWords} * 2, crc);
    }
    return crc;
}

std::string hostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

// The programming log: a regular file, never through a symbolic link, opened
// without waiting (a FIFO would block for ever), for appending.
int openLog(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + (errno == ELOOP ? std::string("is a symbolic link") : std::strerror(errno));
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, O_APPEND) != 0) {
        error = path + ": not a regular file";
        ::close(fd);
        return -1;
    }
    return fd;
}

// One line, appended whole and synced, or not at all: a write that falls
// short (a full disk) is cut back to the last full line, so every later
// reader of the log still reads whole lines. Appends of other processes wait
// on the lock meanwhile.
bool appendLogLine(int fd, const std::string& line, std::string& error) {
    const std::string text = line + "\n";
    ::flock(fd, LOCK_EX);
    const off_t before = ::lseek(fd, 0, SEEK_END);
    const ssize_t n = ::write(fd, text.data(), text.size());
    bool ok = n == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    if (!ok) {
        error = std::strerror(n < 0 ? errno : ENOSPC);
        if (before >= 0 && ::ftruncate(fd, before) == 0) {
            error += ": the line was not written, and the log ends with its last full line";
        } else {
            error += ": the log may end with a part of a line";
        }
    }
    ::flock(fd, LOCK_UN);
    return ok;
}

// Where --serial-at puts the number: a hexadecimal word address (it starts
// with a digit, as no symbol does) or a data symbol; never inside code.
std::optional<std::uint32_t> serialAddress(const std::string& program, const std::string& at, std::string& error) {
    std::optional<std::uint32_t> address;
    if (!at.empty() && at.front() >= '0' && at.front() <= '9') {
        address = parseWordAddress(at);
        if (!address) error = "--serial-at " + at + " is not a hexadecimal word address up to 3FFFFF";
    } else {
        const auto symbol = findSymbol(program, at, error);
        if (!symbol) return std::nullopt;
        if (symbol->code) {
            error = "--serial-at " + at + " is code (a function or in the code section " + symbol->section +
                    "): a number there would overwrite instructions";
            return std::nullopt;
        }
        address = symbol->address;
    }
    if (address) {
        if (const auto section = codeSectionAt(program, *address)) {
            error = "--serial-at " + at + " lies in the code section " + *section +
                    ": a number there would overwrite instructions";
            return std::nullopt;
        }
    }
    return address;
}

}  // namespace

bool wantsGang(const ParsedArgs& args) { return several(args) || args.value("--log") || args.value("--serial-at"); }

std::optional<std::string> lineOptionError(const ParsedArgs& args) {
    if (args.has("--all-pods") && args.value("--pod")) return "--all-pods and --pod exclude each other";
    if (args.value("--serial-ledger") && !args.value("--serial-at")) return "--serial-ledger needs --serial-at";
    if (args.value("--serial-at") && !args.value("--serial-ledger")) return "--serial-at needs --serial-ledger FILE";
    if (const auto w = args.value("--serial-width"); w && *w != "16" && *w != "32") return "--serial-width is 16 or 32";
    const std::uint64_t max = args.value("--serial-width") == "32" ? 0xFFFFFFFFull : 0xFFFFull;
    if (const auto s = args.value("--serial-start"); s && !parseDecimal(*s, max)) {
        return "--serial-start takes a decimal number up to " + std::to_string(max) + ", not '" + *s + "'";
    }
    if (args.value("--trace") && several(args)) return "--trace takes one pod: give --pod once";
    return std::nullopt;
}

int runGang(const GangJob& job, const ParsedArgs& args) {
    const bool json = args.json();
    const bool many = several(args);
    const unsigned width = args.value("--serial-width") == "32" ? 32 : 16;
    const std::uint64_t maxSerial = width == 32 ? 0xFFFFFFFFull : 0xFFFFull;
    std::mutex out;

    // Everything that can refuse the command does so before any board is touched.
    std::string error;
    int logFd = -1;
    const auto logPath = args.value("--log");
    if (logPath) {
        logFd = openLog(*logPath, error);
        if (logFd < 0) return refuse(args, OutcomeCode::LogFailed, error);
    }
    const std::unique_ptr<int, void (*)(int*)> closeLog(&logFd, [](int* fd) {
        if (*fd >= 0) ::close(*fd);
    });
    // Two of the files named for one run must never be one file, whatever their names.
    const auto ledger = args.value("--serial-ledger");
    const std::vector<std::pair<const char*, std::optional<std::string>>> files = {
        {"--log", logPath},
        {"--serial-ledger", ledger},
        {"--trace", args.value("--trace")},
        {"the program file", job.program ? std::optional<std::string>(job.source.path) : std::nullopt}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t j = i + 1; j < files.size(); ++j) {
            if (files[i].second && files[j].second && sameFile(*files[i].second, *files[j].second)) {
                return usageError(args, std::string(files[i].first) + " and " + files[j].first + " are one file");
            }
        }
    }

    SteadyClock clock;
    PodLink lister(loadSystemBackends, clock);
    lister.loadDriver();
    warnAboutPodFolder();
    const std::vector<PodInfo> listed = lister.listPods();
    PodMatch chosen;
    if (args.has("--all-pods")) {
        chosen.pods = listed;
        if (listed.empty()) chosen.code = OutcomeCode::PodNotFound;
    } else {
        chosen = matchPods(listed, args.values_of("--pod"));
    }
    if (chosen.code != OutcomeCode::Ok) return refuse(args, chosen.code, chosen.detail);
    const std::vector<PodInfo>& pods = chosen.pods;

    CoffImage master;
    TerminalStatus loadStatus(true);
    if (job.program) {
        const OutcomeCode loaded = ensureImageLoaded(master, loadStatus, job.source.path, job.source.device, job.noFile,
                                                     {}, ReadOptions{job.source.binaryBase, true});
        if (loaded != OutcomeCode::Ok) return refuseWith(args, loaded, loadStatus.lastMessage());
        if (!json) printWarnings(master);
    }
    // The file the log names is the one read, not whatever lies there once the boards are done.
    const std::string sha = job.program ? sha256OfFile(job.source.path) : "";

    // Serial numbers: where, how wide, and one taken per pod from the ledger.
    std::optional<std::uint32_t> serialAt;
    if (const auto at = args.value("--serial-at")) {
        serialAt = serialAddress(job.source.path, *at, error);
        if (!serialAt) return refuse(args, OutcomeCode::SerialRefused, error);
        if (!serialFitsFlash(master, *serialAt, width)) {
            return refuse(args, OutcomeCode::SerialRefused,
                          "--serial-at " + *at + " does not lie in the program's flash");
        }
    }
    std::vector<std::uint64_t> serials;
    if (serialAt) {
        const std::uint64_t start = parseDecimal(args.value("--serial-start").value_or("1"), maxSerial).value_or(1);
        std::vector<std::string> names;
        for (const PodInfo& p : pods) names.push_back(p.serialNumber);
        const auto taken = takeSerialNumbers(*ledger, start, maxSerial, names, error);
        if (!taken) return refuse(args, OutcomeCode::LedgerFailed, error);
        serials = *taken;
    }

    // A trace of the one pod, as any single-pod command writes it.
    std::FILE* traceFile = nullptr;
    std::unique_ptr<InterruptibleTrace> trace;
    const auto tracePath = args.value("--trace");
    if (tracePath) {
        traceFile = openPrivateOutput(*tracePath, error);
        if (traceFile == nullptr) return usageError(args, error);
        trace = std::make_unique<InterruptibleTrace>(traceFile, clock);
    }
    if (!many && !json) std::printf("Corvexlink POD %s\n", describePod(pods.front()).c_str());

    // One thread per pod, each with its own link, program copy and lines.
    std::vector<PodRun> runs(pods.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < pods.size(); ++i) {
        runs[i].pod = pods[i];
        if (serialAt) runs[i].serial = serials[i];
        const std::string prefix = !many                          ? ""
                                   : pods[i].serialNumber.empty() ? escapeControls(pods[i].devicePath)
                                                                  : escapeControls(pods[i].serialNumber);
        runs[i].lines = std::make_unique<PodLines>(prefix, out, json);
        threads.emplace_back([&, i] {
            PodRun& run = runs[i];
            SteadyClock podClock;
            PodLink link(loadSystemBackends, podClock);
            link.usePodOnly(run.pod);
            link.setObserver(trace.get());
            link.loadDriver();
            auto image = std::make_unique<CoffImage>();
            if (job.program) {
                image->copyFrom(master);
                if (run.serial) writeSerialNumber(*image, *serialAt, width, *run.serial);
                run.flashCrc = flashCrc(*image);
            }
            CommandContext ctx{*image, link, *run.lines, podClock, {}, {}};
            const std::uint64_t start = podClock.nowMicros();
            run.outcome = job.run(ctx);
            run.totalMs = static_cast<double>(podClock.nowMicros() - start) / 1000.0;
            run.figures = run.outcome.program.value_or(programFigures(*image, job.eraseAll));
            link.setObserver(nullptr);
        });
    }
    for (std::thread& t : threads) t.join();
    trace.reset();  // writes the last line
    bool traced = true;
    if (traceFile != nullptr && !closePrivateOutput(traceFile, *tracePath, error)) {
        std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(error).c_str());
        traced = false;
    }

    // Outcomes: the log and the ledger first (the log is synced before success is reported).
    bool logged = true;
    std::size_t succeeded = 0;
    std::vector<SerialIssue> issues;
    const std::string host = hostName();
    const std::string device = job.program && mcuInfo(job.source.device) ? mcuInfo(job.source.device)->shortName : "";
    for (const PodRun& run : runs) {
        if (run.outcome.ok()) ++succeeded;
        if (run.serial)
            issues.push_back({*run.serial, run.pod.serialNumber, std::string(outcomeName(run.outcome.code))});
        if (logFd < 0) continue;
        nlohmann::ordered_json line;
        line["time"] = utcTimestamp();
        putText(line, "host", host);
        putText(line, "podSerialNumber", run.pod.serialNumber);
        line["backend"] = run.pod.backend;
        line["device"] = device;
        line["command"] = job.command;
        putText(line, "program", job.source.path);
        line["programSha256"] = sha;
        line["flashCrc32"] = run.flashCrc;
        line["eraseMask"] = job.program ? master.eraseSectorMask(job.eraseAll) : 0;
        line["serialNumber"] = run.serial ? nlohmann::ordered_json(*run.serial) : nlohmann::ordered_json(nullptr);
        line["result"] = std::string(outcomeName(run.outcome.code));
        putText(line, "message", run.outcome.message);
        const PhaseTimes& t = run.outcome.phases;
        line["phasesMs"] = {{"boot", jsonMs(t.boot)},           {"algorithm", jsonMs(t.algorithm)},
                            {"flashInit", jsonMs(t.flashInit)}, {"erase", jsonMs(t.erase)},
                            {"program", jsonMs(t.program)},     {"reset", jsonMs(t.reset)}};
        line["totalMs"] = jsonMs(run.totalMs);
        if (!appendLogLine(logFd, jsonText(line), error)) {
            std::fprintf(stderr, "corvexlink-cli: %s: %s\n", escapeControls(*logPath).c_str(),
                         escapeControls(error).c_str());
            logged = false;
        }
    }
    if (!issues.empty() && !recordSerialOutcomes(*ledger, issues, error)) {
        std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(error).c_str());
        logged = false;
    }
    if (!logged) std::fprintf(stderr, "corvexlink-cli: the log could not be written in full\n");

    const bool allOk = succeeded == runs.size() && logged && traced;
    const int exitStatus = allOk ? 0 : 1;
    std::vector<nlohmann::ordered_json> boards;
    for (const PodRun& run : runs) {
        BoardReport board;
        board.command = job.command;
        board.outcome = run.outcome;
        board.outcome.pod = run.pod;
        board.messages = run.lines->messages;
        board.program = job.program;
        board.file = job.source.path;
        board.device = device;
        board.figures = run.figures;
        board.warnings = master.warnings;
        board.serialNumber = run.serial;
        boards.push_back(boardJson(board));
        if (!json && many) {
            std::printf("%s: %s (%s)\n", describePod(run.pod).c_str(), escapeControls(run.outcome.message).c_str(),
                        std::string(outcomeName(run.outcome.code)).c_str());
        }
    }
    if (json && !many) {
        boards.front()["exitStatus"] = exitStatus;
        std::cout << jsonText(boards.front()) << '\n';
    } else if (json) {
        const auto failed = std::find_if(runs.begin(), runs.end(), [](const PodRun& r) { return !r.outcome.ok(); });
        const std::string summary =
            std::to_string(succeeded) + " of " + std::to_string(runs.size()) + " pods succeeded";
        nlohmann::ordered_json doc = {
            {"command", job.command},
            {"result", std::string(outcomeName(failed == runs.end() ? OutcomeCode::Ok : failed->outcome.code))},
            {"message", summary},
            {"isError", !allOk},
            {"exitStatus", exitStatus},
            {"summary", {{"pods", runs.size()}, {"succeeded", succeeded}, {"failed", runs.size() - succeeded}}},
            {"boards", boards}};
        std::cout << jsonText(doc) << '\n';
    } else if (many) {
        std::printf("%zu of %zu pods succeeded\n", succeeded, runs.size());
    }
    return exitStatus;
}

}  // namespace cvl::cli
