#include "line/ProductionLine.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <thread>

#include "command/LoadCommand.h"
#include "common/Crc32.h"
#include "platform/Files.h"
#include "common/Sha256.h"
#include "line/SerialPlacement.h"
#include "platform/Host.h"
#include "pod/PodChoice.h"

namespace cvl {

namespace {

// A pod's sink that also keeps every line for the board's record.
class RecordingSink : public StatusSink {
public:
    explicit RecordingSink(std::unique_ptr<StatusSink> shown) : shown_(std::move(shown)) {}
    void showMessage(std::string_view text, bool isError) override {
        messages.emplace_back(std::string(text), isError);
        if (shown_) shown_->showMessage(text, isError);
    }
    void commandStarted() override {
        if (shown_) shown_->commandStarted();
    }
    void commandEnded() override {
        if (shown_) shown_->commandEnded();
    }
    void beginProgress(std::uint32_t total) override {
        if (shown_) shown_->beginProgress(total);
    }
    void stepProgress() override {
        if (shown_) shown_->stepProgress();
    }
    void resetProgress() override {
        if (shown_) shown_->resetProgress();
    }
    std::vector<std::pair<std::string, bool>> messages;

private:
    std::unique_ptr<StatusSink> shown_;
};

std::uint32_t flashCrc(const CoffImage& image) {
    std::uint32_t crc = 0;
    for (const SectionRecord& s : image.sections) {
        if (s.inFlash) crc = crc32(s.data, std::size_t{s.lengthWords} * 2, crc);
    }
    return crc;
}

LineOutcome refusedWith(OutcomeCode code, const std::string& detail) {
    LineOutcome outcome;
    outcome.refused = code;
    outcome.refusal = std::string(outcomeMessage(code)) + (detail.empty() ? "" : ": " + detail);
    return outcome;
}

}  // namespace

void LineOutcome::recordFailed(OutcomeCode code, const std::string& error) {
    if (recordErrors.empty()) recordFailure = code;
    recordErrors.push_back(error);
    (code == OutcomeCode::LogFailed ? logIncomplete : ledgerIncomplete) = true;
}

bool LineOutcome::allSucceeded() const {
    return refused == OutcomeCode::Ok && recordErrors.empty() &&
           std::all_of(boards.begin(), boards.end(), [](const BoardRecord& b) { return b.outcome.ok(); });
}

namespace {
// One file whatever the names (after links, or a hard link), or one name
// for a file that does not exist yet: a log named as the ledger's -wal file
// would be taken over by the database once it makes that file.
bool oneFile(const std::string& a, const std::string& b) {
    if (sameFile(a, b)) return true;
    std::error_code ea, eb;
    const auto ca = std::filesystem::weakly_canonical(nativePath(a), ea);
    const auto cb = std::filesystem::weakly_canonical(nativePath(b), eb);
    return !ea && !eb && ca == cb;
}
}  // namespace

std::optional<std::string> sharedFile(const std::vector<std::pair<std::string, std::optional<std::string>>>& named) {
    for (std::size_t i = 0; i < named.size(); ++i) {
        for (std::size_t j = i + 1; j < named.size(); ++j) {
            if (named[i].second && named[j].second && oneFile(*named[i].second, *named[j].second)) {
                return named[i].first + " and " + named[j].first;
            }
        }
    }
    return std::nullopt;
}

namespace {

// Phase 1: the pods, as listed now: every pod, or the ones the request names.
PodMatch choosePods(const LineRequest& request, const PodLink::BackendLoader& backends) {
    SteadyClock clock;
    PodLink lister(backends, clock);
    lister.loadDriver();
    const std::vector<PodInfo> listed = lister.listPods();
    if (!request.allPods) return matchPods(listed, request.pods);
    PodMatch chosen;
    chosen.pods = listed;
    if (listed.empty()) chosen.code = OutcomeCode::PodNotFound;
    return chosen;
}

// Phase 2: the program, read once; the file the records name is the one
// read. Ok, or the refusal with the load's own line.
OutcomeCode loadProgram(const LineRequest& request, CoffImage& master, RecordingSink& status, LineOutcome& refusal) {
    if (!request.program) return OutcomeCode::Ok;
    const OutcomeCode loaded = ensureImageLoaded(master, status, request.source.path, request.source.device,
                                                 request.noFile, {}, ReadOptions{request.source.binaryBase, true});
    if (loaded != OutcomeCode::Ok) {
        refusal.refused = loaded;
        refusal.refusal = status.messages.empty() ? std::string(outcomeMessage(loaded)) : status.messages.back().first;
    }
    return loaded;
}

// Phase 3: where the serial numbers go, and one taken per pod. Nothing
// (refusal set) when the place or the ledger refuses.
std::optional<std::vector<std::uint64_t>> takeSerials(const LineRequest& request, const CoffImage& master,
                                                      const std::vector<PodInfo>& pods,
                                                      std::optional<std::uint32_t>& serialAt, LineOutcome& refusal) {
    std::string error;
    if (!request.serialAt) return std::vector<std::uint64_t>{};
    serialAt = serialAddress(request.source.path, *request.serialAt, error);
    if (!serialAt) return refusal = refusedWith(OutcomeCode::SerialRefused, error), std::nullopt;
    if (!serialFitsFlash(master, *serialAt, request.serialWidth)) {
        refusal = refusedWith(OutcomeCode::SerialRefused,
                              "--serial-at " + *request.serialAt + " does not lie in the program's flash");
        return std::nullopt;
    }
    if (request.serials == nullptr) return refusal = refusedWith(OutcomeCode::LedgerFailed, "no ledger"), std::nullopt;
    std::vector<std::string> names;
    for (const PodInfo& p : pods) names.push_back(p.serialNumber);
    auto taken = request.serials->take(names, error);
    if (!taken) refusal = refusedWith(OutcomeCode::LedgerFailed, error);
    return taken;
}

// Phase 4, for one pod on a thread of its own: its own link, its own copy
// of the program with its serial number written in, its own sink.
void runBoard(const LineRequest& request, const PodLink::BackendLoader& backends, const SinkFactory& sinks,
              const CoffImage& master, std::optional<std::uint32_t> serialAt, bool onlyPod, BoardRecord& b) {
    RecordingSink sink(sinks ? sinks(b.pod) : nullptr);
    SteadyClock podClock;
    PodLink link(backends, podClock);
    link.usePodOnly(b.pod);
    link.setObserver(onlyPod ? request.trace : nullptr);
    link.loadDriver();
    auto image = std::make_unique<CoffImage>();
    if (request.program) {
        image->copyFrom(master);
        if (b.serialNumber) writeSerialNumber(*image, *serialAt, request.serialWidth, *b.serialNumber);
        b.flashCrc32 = flashCrc(*image);
    }
    CommandContext ctx{*image, link, sink, podClock, {}, {}};
    const std::uint64_t start = podClock.nowMicros();
    b.outcome = request.run(ctx);
    b.totalMs = static_cast<double>(podClock.nowMicros() - start) / 1000.0;
    link.setObserver(nullptr);
    if (!b.outcome.program) b.outcome.program = programFigures(*image, request.eraseAll);
    b.outcome.pod = b.pod;
    b.messages = std::move(sink.messages);
}

// Phase 5: the records: the log (synced before success is reported), then
// the numbers' outcomes.
void storeRecords(const LineRequest& request, LineOutcome& outcome) {
    const std::string host = hostName();
    std::string error;
    std::vector<SerialIssue> issues;
    for (BoardRecord& b : outcome.boards) {
        b.time = utcTimestamp();
        b.host = host;
        if (b.serialNumber)
            issues.push_back({*b.serialNumber, b.pod.serialNumber, std::string(outcomeName(b.outcome.code))});
        if (request.log != nullptr && !request.log->append(b, error))
            outcome.recordFailed(OutcomeCode::LogFailed, error);
    }
    if (!issues.empty() && !request.serials->record(issues, error))
        outcome.recordFailed(OutcomeCode::LedgerFailed, error);
}

}  // namespace

LineOutcome runLine(const LineRequest& request, const PodLink::BackendLoader& backends, const SinkFactory& sinks,
                    const OnLineStart& starting) {
    const PodMatch chosen = choosePods(request, backends);
    if (chosen.code != OutcomeCode::Ok) return refusedWith(chosen.code, chosen.detail);
    const std::vector<PodInfo>& pods = chosen.pods;

    CoffImage master;
    RecordingSink loadStatus(nullptr);
    LineOutcome refusal;
    if (loadProgram(request, master, loadStatus, refusal) != OutcomeCode::Ok) return refusal;
    const std::string sha = request.program ? sha256OfFile(request.source.path) : "";
    std::optional<std::uint32_t> serialAt;
    const auto serials = takeSerials(request, master, pods, serialAt, refusal);
    if (!serials) return refusal;

    LineOutcome outcome;
    outcome.warnings = master.warnings;
    if (!loadStatus.messages.empty()) outcome.loaded = loadStatus.messages.back().first;
    if (starting) starting(pods, outcome);

    const std::string device =
        request.program && mcuInfo(request.source.device) ? mcuInfo(request.source.device)->shortName : "";
    const std::uint8_t eraseMask = request.program ? master.eraseSectorMask(request.eraseAll) : 0;
    outcome.boards.resize(pods.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < pods.size(); ++i) {
        BoardRecord& board = outcome.boards[i];
        board.pod = pods[i];
        board.command = request.command;
        board.device = device;
        board.program = request.program ? request.source.path : "";
        board.programSha256 = sha;
        board.eraseMask = eraseMask;
        board.warnings = master.warnings;
        if (serialAt) board.serialNumber = (*serials)[i];
        threads.emplace_back(
            [&, i] { runBoard(request, backends, sinks, master, serialAt, pods.size() == 1, outcome.boards[i]); });
    }
    for (std::thread& t : threads) t.join();
    storeRecords(request, outcome);
    return outcome;
}

}  // namespace cvl
