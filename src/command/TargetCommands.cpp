#include "command/TargetCommands.h"

#include "command/CsmKeyText.h"
#include "image/ImageChecks.h"
#include "pod/TargetProgrammer.h"

namespace cvl {

OutcomeCode prepareProgram(CommandContext& ctx, const ProgramSource& program, OutcomeCode noFile) {
    return ensureImageLoaded(ctx.image, ctx.status, program.path, program.device, noFile, ctx.remember,
                             ReadOptions{program.binaryBase});
}

CommandOutcome targetWrite(CommandContext& ctx, const TargetWriteRequest& request) {
    if (const OutcomeCode loaded = prepareProgram(ctx, request.program, OutcomeCode::NoFileToWrite);
        loaded != OutcomeCode::Ok) {
        return shownFailure(loaded);
    }
    if (const OutcomeCode refused = checkTargetImage(ctx.image); refused != OutcomeCode::Ok) {
        return showFailure(ctx.status, refused);
    }
    if (const OutcomeCode consent = checkLockConsent(ctx, request.lock); consent != OutcomeCode::Ok) {
        return shownFailure(consent);
    }
    const bool eraseAll = request.eraseMode == EraseMode::All;
    const bool csm = request.keys.has_value();
    const CsmKeys keys = request.keys.value_or(CsmKeys{});
    const bool flash = ctx.image.summary.hasFlashSection;
    if (csm && keysAllZero(keys)) return showFailure(ctx.status, OutcomeCode::CsmPasswordWrong);
    if (const OutcomeCode connected = ctx.link.connectPod(ctx.status); connected != OutcomeCode::Ok) {
        return shownFailure(connected);
    }
    TargetProgrammer programmer(ctx.link, ctx.status, ctx.image, keys);
    programmer.timePhasesWith(ctx.clock);
    CommandOutcome outcome = runBusyCommand(
        ctx,
        [&] {
            return programmer.runTargetWrite({flash, eraseAll, csm});
        },
        "Flash Write Completed - ", false);
    outcome.pod = ctx.link.pod();
    outcome.program = programFigures(ctx.image, eraseAll);
    outcome.phases = programmer.phaseTimes();
    return outcome;
}

CommandOutcome targetReset(CommandContext& ctx, const ResetRequest&) {
    if (const OutcomeCode connected = ctx.link.connectPod(ctx.status); connected != OutcomeCode::Ok) {
        return shownFailure(connected);
    }
    const std::uint64_t start = ctx.clock.nowMicros();
    const bool reset = targetReset(ctx.link);
    ctx.link.closePod();
    CommandOutcome outcome;
    outcome.phases.reset = static_cast<double>(ctx.clock.nowMicros() - start) / 1000.0;
    outcome.pod = ctx.link.pod();
    if (!reset) {
        outcome.code = OutcomeCode::ResetFailed;
        outcome.message = std::string(outcomeMessage(outcome.code));
        ctx.status.showMessage(outcome.message, true);
        return outcome;
    }
    outcome.message = "Target board's reset is successful";
    ctx.status.showMessage(outcome.message, false);
    return outcome;
}

}  // namespace cvl
