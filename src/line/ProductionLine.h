#pragma once
// A production line: one pod command on several pods at once, or on one pod
// with board records and serial numbers. The program is read once; each pod
// runs the whole command in a thread of its own, with its own link, its own
// copy of the program (its serial number written in) and its own status
// sink; a pod's failure or unplug never stops another. Everything that can
// refuse the run does so before any board is touched.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "command/CommandContext.h"
#include "command/Requests.h"
#include "line/BoardLog.h"
#include "command/BoardRecord.h"
#include "line/SerialNumberSource.h"
#include "pod/PodLink.h"

namespace cvl {

struct LineRequest {
    std::string command;                   // "write", "reset", ...
    bool program = false;                  // the command takes a program file
    OutcomeCode noFile = OutcomeCode::Ok;  // what it says when the file's name is blank
    ProgramSource source;
    bool eraseAll = false;
    std::function<CommandOutcome(CommandContext&)> run;
    // Which pods: every pod attached, or those named (serial numbers or device
    // paths); with neither, the only pod attached.
    bool allPods = false;
    std::vector<std::string> pods;
    // Serial numbers: where (a hexadecimal word address or a data symbol),
    // how wide, from where.
    std::optional<std::string> serialAt;
    unsigned serialWidth = 16;
    SerialNumberSource* serials = nullptr;
    BoardLog* log = nullptr;        // optional
    LinkObserver* trace = nullptr;  // optional; for one pod only
};

struct LineOutcome {
    // Ok, or why the run was refused before any board was touched.
    OutcomeCode refused = OutcomeCode::Ok;
    std::string refusal;  // the whole message of a refusal
    // The program's load: every line it showed, and its warnings.
    std::vector<std::pair<std::string, bool>> loadMessages;
    std::vector<std::string> warnings;
    // One per pod, in the order chosen. When the program could not be read,
    // each chosen pod's record says so, untouched and never stored; so does
    // a single command's when its one pod could not be chosen.
    std::vector<BoardRecord> boards;
    // Records that could not be stored (log lines, serial outcomes), and what
    // the first of them ends the run with (LogFailed or LedgerFailed).
    std::vector<std::string> recordErrors;
    OutcomeCode recordFailure = OutcomeCode::Ok;
    bool logIncomplete = false;     // a board's log record was not stored
    bool ledgerIncomplete = false;  // a number's outcome was not stored
    bool allSucceeded() const;
    void recordFailed(OutcomeCode code, const std::string& error);
};

// Makes the status sink of each pod's command (its lines on the user's screen).
using SinkFactory = std::function<std::unique_ptr<StatusSink>(const PodInfo& pod)>;

// What the caller shows of a run before any pod is touched, on its thread.
struct LineWatch {
    // The pods chosen, before the program is read (empty: none is attached,
    // and the one command runs to say so itself).
    std::function<void(const std::vector<PodInfo>& pods)> podsChosen;
    // The run's own lines, as they are shown: a refusal to choose the one pod
    // of a single command, the load's lines.
    StatusSink* runStatus = nullptr;
    // The program is read and the serial numbers taken: its warnings.
    std::function<void(const LineOutcome& sofar)> programRead;
};

// Runs the request. With no pod named and none attached, a run that keeps
// no records is one command on no pod, which reports the missing pod as any
// command does; otherwise that refuses the run.
LineOutcome runLine(const LineRequest& request, const PodLink::BackendLoader& backends, const SinkFactory& sinks,
                    const LineWatch& watch = {});

// The first two of the named files that are one file, whatever their names
// ("--log and --serial-ledger"), or nothing.
std::optional<std::string> sharedFile(const std::vector<std::pair<std::string, std::optional<std::string>>>& named);

}  // namespace cvl
