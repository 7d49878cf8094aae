#include "cli/GangRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/CliSession.h"
#include "cli/JsonText.h"
#include "cli/TerminalStatus.h"
#include "command/SerialLedger.h"
#include "common/Sha256.h"
#include "common/Text.h"
#include "image/Crc32.h"
#include "image/SymbolTable.h"
#include "pod/SystemBackends.h"

namespace cvl::cli {

namespace {

// Status lines of one pod among several: each line prefixed with the pod's
// serial number, written whole under a lock shared by all pods.
class PodLines : public NullStatusSink {
public:
    PodLines(std::string prefix, std::mutex& out, bool quiet) : prefix_(std::move(prefix)), out_(out), quiet_(quiet) {}
    void showMessage(std::string_view text, bool isError) override {
        messages.emplace_back(std::string(text), isError);
        if (quiet_) return;
        const std::lock_guard<std::mutex> lock(out_);
        std::FILE* f = isError ? stderr : stdout;
        std::fprintf(f, "%s: %s\n", prefix_.c_str(), escapeControls(text).c_str());
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
    std::unique_ptr<PodLines> lines;
};

std::vector<std::string> allValues(const ParsedArgs& args, const std::string& option) {
    std::vector<std::string> out;
    for (const auto& [name, value] : args.values) {
        if (name == option) out.push_back(value);
    }
    return out;
}

// The pods the command line names; empty with error set when one cannot be told.
std::vector<PodInfo> choosePods(PodLink& link, const ParsedArgs& args, std::string& error) {
    const std::vector<PodInfo> all = link.listPods();
    if (args.has("--all-pods")) {
        if (all.empty()) error = std::string(outcomeMessage(OutcomeCode::PodNotFound));
        return all;
    }
    std::vector<PodInfo> chosen;
    const std::vector<std::string> wanted = allValues(args, "--pod");
    if (wanted.empty() && all.size() == 1) return all;
    if (wanted.empty()) {
        error = all.empty() ? std::string(outcomeMessage(OutcomeCode::PodNotFound))
                            : std::string(outcomeMessage(OutcomeCode::PodChoiceAmbiguous));
        return {};
    }
    for (const std::string& w : wanted) {
        const auto it = std::find_if(all.begin(), all.end(),
                                     [&](const PodInfo& p) { return p.serialNumber == w || p.devicePath == w; });
        if (it == all.end()) {
            error = "no Corvexlink POD matches --pod " + w;
            return {};
        }
        if (std::find(chosen.begin(), chosen.end(), *it) == chosen.end()) chosen.push_back(*it);
    }
    return chosen;
}

std::uint32_t flashCrc(const CoffImage& image) {
    std::uint32_t crc = 0;
    for (const SectionRecord& s : image.sections) {
        if (s.inFlash != 0) crc = crc32(s.data, std::size_t{s.lengthWords} * 2, crc);
    }
    return crc;
}

nlohmann::ordered_json phasesJson(const PhaseTimes& p) {
    return {{"boot", p.boot},   {"algorithm", p.algorithm}, {"flashInit", p.flashInit},
            {"erase", p.erase}, {"program", p.program},     {"reset", p.reset}};
}

std::string hostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

// One line per write, appended whole, synced before the command reports success.
bool appendLogLine(int fd, const std::string& line) {
    const std::string text = line + "\n";
    return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
}

}  // namespace

bool wantsGang(const ParsedArgs& args) {
    return args.has("--all-pods") || allValues(args, "--pod").size() > 1 || args.value("--log") ||
           args.value("--serial-at");
}

int runGang(const GangJob& job, const ParsedArgs& args) {
    const bool json = args.has("--json");
    std::mutex out;

    // Everything that can refuse the command does so before any board is touched.
    int logFd = -1;
    const auto logPath = args.value("--log");
    if (logPath) {
        logFd = ::open(logPath->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (logFd < 0) {
            std::fprintf(stderr, "corvexlink-cli: %s: cannot be written: %s\n", escapeControls(*logPath).c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    const std::unique_ptr<int, void (*)(int*)> closeLog(&logFd, [](int* fd) {
        if (*fd >= 0) ::close(*fd);
    });

    SteadyClock clock;
    PodLink lister(loadSystemBackends, clock);
    lister.loadDriver();
    std::string error;
    const std::vector<PodInfo> pods = choosePods(lister, args, error);
    if (pods.empty()) {
        std::fprintf(stderr, "%s\n", escapeControls(error).c_str());
        return 1;
    }

    CoffImage master;
    TerminalStatus loadStatus(json);
    if (job.program) {
        if (ensureImageLoaded(master, loadStatus, job.source.path, job.source.device, job.noFile, {},
                              ReadOptions{job.source.binaryBase}) != OutcomeCode::Ok) {
            return 1;
        }
        printWarnings(master);
    }
    // The file the log names is the one read, not whatever lies there once the boards are done.
    const std::string sha = job.program ? sha256OfFile(job.source.path) : "";

    // Serial numbers: where, how wide, and one taken per pod from the ledger.
    std::optional<std::uint32_t> serialAt;
    unsigned width = 16;
    const auto ledger = args.value("--serial-ledger");
    if (const auto at = args.value("--serial-at")) {
        if (!ledger) return usageError("--serial-at needs --serial-ledger FILE");
        if (const auto w = args.value("--serial-width")) {
            if (*w != "16" && *w != "32") return usageError("--serial-width is 16 or 32");
            width = *w == "32" ? 32 : 16;
        }
        serialAt = parseAddress(*at);
        if (!serialAt) serialAt = findSymbol(job.source.path, *at, error);
        if (!serialAt || !serialFitsFlash(master, *serialAt, width)) {
            std::fprintf(
                stderr, "corvexlink-cli: %s\n",
                escapeControls(serialAt ? "--serial-at " + *at + " does not lie in the program's flash" : error)
                    .c_str());
            return 1;
        }
    }
    std::vector<std::uint64_t> serials;
    if (serialAt) {
        std::uint64_t start = 1;
        if (const auto s = args.value("--serial-start")) {
            const auto parsed = parseAddress(*s);
            if (!parsed) return usageError("--serial-start takes a number");
            start = *parsed;
        }
        std::vector<std::string> names;
        for (const PodInfo& p : pods) names.push_back(p.serialNumber);
        const auto taken = takeSerialNumbers(*ledger, start, width == 16 ? 0xFFFFull : 0xFFFFFFFFull, names, error);
        if (!taken) {
            std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(error).c_str());
            return 1;
        }
        serials = *taken;
    }

    // One thread per pod, each with its own link, program copy and lines.
    std::vector<PodRun> runs(pods.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < pods.size(); ++i) {
        runs[i].pod = pods[i];
        if (serialAt) runs[i].serial = serials[i];
        runs[i].lines = std::make_unique<PodLines>(
            pods[i].serialNumber.empty() ? pods[i].devicePath : pods[i].serialNumber, out, json);
        threads.emplace_back([&, i] {
            PodRun& run = runs[i];
            SteadyClock podClock;
            PodLink link(loadSystemBackends, podClock);
            link.setPodFilter([&](const PodInfo& p) { return p == run.pod; });
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
        });
    }
    for (std::thread& t : threads) t.join();

    // Outcomes: the log and the ledger first (the log is synced before success is reported).
    bool logged = true;
    std::size_t succeeded = 0;
    std::vector<SerialIssue> issues;
    const std::string host = hostName();
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
        line["device"] = job.program && mcuInfo(job.source.device) ? mcuInfo(job.source.device)->shortName : "";
        line["command"] = job.command;
        putText(line, "program", job.source.path);
        line["programSha256"] = sha;
        line["flashCrc32"] = run.flashCrc;
        line["eraseMask"] = job.program ? master.eraseSectorMask(job.eraseAll) : 0;
        line["serialNumber"] = run.serial ? nlohmann::ordered_json(*run.serial) : nlohmann::ordered_json(nullptr);
        line["result"] = std::string(outcomeName(run.outcome.code));
        putText(line, "message", run.outcome.message);
        line["phasesMs"] = phasesJson(run.outcome.phases);
        line["totalMs"] = run.totalMs;
        logged = appendLogLine(logFd, jsonText(line)) && logged;
    }
    if (!issues.empty() && !recordSerialOutcomes(*ledger, issues, error)) {
        std::fprintf(stderr, "corvexlink-cli: %s\n", escapeControls(error).c_str());
        logged = false;
    }
    if (!logged) std::fprintf(stderr, "corvexlink-cli: the log could not be written in full\n");

    for (const PodRun& run : runs) {
        if (json) {
            nlohmann::ordered_json o = {{"command", job.command}, {"pod", podJson(run.pod)}};
            o["result"] = std::string(outcomeName(run.outcome.code));
            putText(o, "message", run.outcome.message);
            nlohmann::ordered_json messages = nlohmann::ordered_json::array();
            for (const auto& [text, isError] : run.lines->messages) {
                nlohmann::ordered_json m;
                putText(m, "text", text);
                m["isError"] = isError;
                messages.push_back(std::move(m));
            }
            o["messages"] = std::move(messages);
            if (run.serial) o["serialNumber"] = *run.serial;
            o["phasesMs"] = phasesJson(run.outcome.phases);
            std::cout << jsonText(o) << '\n';
        } else {
            std::printf("%s: %s (%s)\n", describePod(run.pod).c_str(), escapeControls(run.outcome.message).c_str(),
                        std::string(outcomeName(run.outcome.code)).c_str());
        }
    }
    const bool allOk = succeeded == runs.size() && logged;
    if (json) {
        nlohmann::ordered_json summary = {{"summary",
                                           {{"command", job.command},
                                            {"pods", runs.size()},
                                            {"succeeded", succeeded},
                                            {"failed", runs.size() - succeeded}}},
                                          {"exitStatus", allOk ? 0 : 1}};
        std::cout << jsonText(summary) << '\n';
    } else {
        std::printf("%zu of %zu pods succeeded\n", succeeded, runs.size());
    }
    return allOk ? 0 : 1;
}

}  // namespace cvl::cli
