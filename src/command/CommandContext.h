#pragma once
// What every command works on: the image, the pod link, the status output,
// the clock, and where successful loads are remembered. The window, the
// command-line tool and the tests each own one set.

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "command/CommandOutcome.h"
#include "command/Requests.h"
#include "common/Clock.h"
#include "common/StatusSink.h"
#include "image/CoffImage.h"
#include "command/LoadCommand.h"
#include "pod/PodLink.h"

namespace cvl {

struct CommandContext {
    CoffImage& image;
    PodLink& link;
    StatusSink& status;
    Clock& clock;
    RememberFile remember;  // optional
    // Asks the user to agree to write a program that locks the device; when
    // absent nobody can be asked and only the request's consent counts.
    std::function<bool(const std::string& question)> confirmLock;
};

// A program that sets a CSM password is written only with consent: Ok, or
// the refusal, already shown.
OutcomeCode checkLockConsent(CommandContext& ctx, LockConsent consent);

// The difference of two system-time readings (wrapping at 32 bits), or
// nothing when either reading failed.
std::optional<std::chrono::milliseconds> elapsedBetween(std::optional<std::uint32_t> start,
                                                        std::optional<std::uint32_t> end);
// "%.2f sec" of the difference of two system-time readings, or empty when
// either reading failed.
std::string elapsedText(std::optional<std::uint32_t> start, std::optional<std::uint32_t> end);

// Shows a failure and returns it as the outcome.
CommandOutcome showFailure(StatusSink& status, OutcomeCode code);
// An outcome for a failure some step has already shown.
CommandOutcome shownFailure(OutcomeCode code);

// The busy bracket of the long commands: buttons disabled and wait cursor
// from before the first time reading to after the link is closed. The step
// returns its code; successText, followed by the elapsed time, is shown on
// success (failureShown: the step showed its own failure; otherwise its
// code's message is shown).
CommandOutcome runBusyCommand(CommandContext& ctx, const std::function<OutcomeCode()>& step,
                              const std::string& successText, bool failureShown);

}  // namespace cvl
