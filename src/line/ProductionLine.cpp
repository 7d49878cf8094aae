#include "line/ProductionLine.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <thread>

#include "command/LoadCommand.h"
#include "command/PodEngine.h"
#include "command/RecordingSink.h"
#include "common/Crc32.h"
#include "platform/Files.h"
#include "common/Sha256.h"
#include "line/SerialPlacement.h"
#include "platform/Host.h"
#include "pod/PodChoice.h"

namespace cvl {

namespace {

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
    outcome.refusal = outcomeMessageWith(code, detail);
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

// Phase 1: the pods, as listed now: every pod, or the ones the request
// names. A single command with nothing to record that finds no pod runs on
// none, so that it says so as a command does.
PodMatch choosePods(const LineRequest& request, const PodLink::BackendLoader& backends) {
    SteadyClock clock;
    PodLink lister(backends, clock);
    lister.loadDriver();
    const std::vector<PodInfo> listed = lister.listPods();
    if (!request.allPods) {
        PodMatch match = matchPods(listed, request.pods);
        const bool recordless = request.log == nullptr && !request.serialAt;
        if (match.code == OutcomeCode::PodNotFound && request.pods.empty() && recordless) match = PodMatch{};
        return match;
    }
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
    const std::unique_ptr<StatusSink> shown = sinks ? sinks(b.pod) : nullptr;
    NullStatusSink unseen;
    SteadyClock podClock;
    PodLink link(backends, podClock);
    auto image = std::make_unique<CoffImage>();
    if (request.program) {
        image->copyFrom(master);
        if (b.serialNumber) writeSerialNumber(*image, *serialAt, request.serialWidth, *b.serialNumber);
        b.flashCrc32 = flashCrc(*image);
    }
    CommandContext ctx{*image, link, shown ? *shown : unseen, podClock, {}, {}};
    const PodJob job{request.command, request.program, request.eraseAll, request.run};
    const std::optional<PodInfo> pod = b.pod.devicePath.empty() ? std::nullopt : std::optional(b.pod);
    BoardRecord ran = runOnPod(job, ctx, pod, onlyPod ? request.trace : nullptr);
    b.outcome = std::move(ran.outcome);
    if (!b.outcome.program) b.outcome.program = programFigures(*image, request.eraseAll);
    b.messages = std::move(ran.messages);
    b.totalMs = ran.totalMs;
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

// Each pod's record as far as it is known before its command runs.
std::vector<BoardRecord> boardsFor(const LineRequest& request, const std::vector<PodInfo>& pods,
                                   const CoffImage& master, const LineOutcome& sofar) {
    const McuInfo* mcu = request.program ? mcuInfo(request.source.device) : nullptr;
    std::vector<BoardRecord> boards(pods.size());
    for (std::size_t i = 0; i < pods.size(); ++i) {
        BoardRecord& board = boards[i];
        board.pod = pods[i];
        board.command = request.command;
        board.device = mcu != nullptr ? mcu->shortName : "";
        board.program = request.program ? request.source.path : "";
        board.eraseMask = request.program ? master.eraseSectorMask(request.eraseAll) : 0;
        board.warnings = sofar.warnings;
    }
    return boards;
}

// The pods could not be chosen: the refusal, with a single command's record.
LineOutcome podsRefused(const LineRequest& request, const PodMatch& chosen, StatusSink* shown) {
    LineOutcome outcome = refusedWith(chosen.code, chosen.detail);
    if (request.allPods || request.pods.size() > 1) return outcome;
    if (shown != nullptr) shown->showMessage(outcome.refusal, true);
    CoffImage empty;
    outcome.boards = boardsFor(request, std::vector<PodInfo>(1), empty, outcome);
    BoardRecord& board = outcome.boards.front();
    board.outcome = shownFailure(chosen.code);
    board.outcome.message = outcome.refusal;
    board.outcome.program = programFigures(empty, false);
    board.messages = {{outcome.refusal, true}};
    return outcome;
}

}  // namespace

LineOutcome runLine(const LineRequest& request, const PodLink::BackendLoader& backends, const SinkFactory& sinks,
                    const LineWatch& watch) {
    const PodMatch chosen = choosePods(request, backends);
    if (chosen.code != OutcomeCode::Ok) return podsRefused(request, chosen, watch.runStatus);
    // No pod attached: one command on none.
    const std::vector<PodInfo> pods = chosen.pods.empty() ? std::vector<PodInfo>(1) : chosen.pods;
    if (watch.podsChosen) watch.podsChosen(chosen.pods);

    CoffImage master;
    RecordingSink loadStatus(watch.runStatus);
    LineOutcome outcome;
    const OutcomeCode loaded = loadProgram(request, master, loadStatus, outcome);
    outcome.loadMessages = loadStatus.messages;
    outcome.warnings = master.warnings;
    if (loaded != OutcomeCode::Ok) {
        outcome.boards = boardsFor(request, pods, master, outcome);
        for (BoardRecord& b : outcome.boards) {
            b.outcome = shownFailure(loaded);
            b.outcome.program = programFigures(master, request.eraseAll);
            b.messages = outcome.loadMessages;
        }
        return outcome;
    }
    std::optional<std::uint32_t> serialAt;
    const auto serials = takeSerials(request, master, pods, serialAt, outcome);
    if (!serials) return outcome;
    if (watch.programRead) watch.programRead(outcome);

    const std::string sha = request.program ? sha256OfFile(request.source.path) : "";
    outcome.boards = boardsFor(request, pods, master, outcome);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < pods.size(); ++i) {
        BoardRecord& board = outcome.boards[i];
        board.programSha256 = sha;
        if (serialAt) board.serialNumber = (*serials)[i];
        threads.emplace_back(
            [&, i] { runBoard(request, backends, sinks, master, serialAt, pods.size() == 1, outcome.boards[i]); });
    }
    for (std::thread& t : threads) t.join();
    storeRecords(request, outcome);
    return outcome;
}

}  // namespace cvl
