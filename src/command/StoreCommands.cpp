#include "command/StoreCommands.h"

#include "command/CsmKeyText.h"
#include "common/Text.h"
#include "command/TargetCommands.h"
#include "image/ImageChecks.h"
#include "store/StoreJob.h"

namespace cvl {

namespace {
// Loads the program (if needed) and checks it can be stored; Ok or the
// failure, already shown.
OutcomeCode preparePodProgram(CommandContext& ctx, const ProgramSource& program, OutcomeCode noFile) {
    if (const OutcomeCode loaded = prepareProgram(ctx, program, noFile); loaded != OutcomeCode::Ok) return loaded;
    const OutcomeCode refused = checkPodImage(ctx.image);
    if (refused != OutcomeCode::Ok) ctx.status.showMessage(outcomeMessage(refused), true);
    return refused;
}
}  // namespace

std::string preparePodFileName(const std::string& typed, const std::string& imageFileName) {
    std::string name = trimmed(typed);
    if (name.empty()) name = imageFileName;
    return cutAtCharacter(name, kPodNameBytes);
}

CommandOutcome podWrite(CommandContext& ctx, const PodWriteRequest& request) {
    if (const OutcomeCode ready = preparePodProgram(ctx, request.program, OutcomeCode::NoFileToStore);
        ready != OutcomeCode::Ok) {
        return shownFailure(ready);
    }
    if (const OutcomeCode consent = checkLockConsent(ctx, request.lock); consent != OutcomeCode::Ok) {
        return shownFailure(consent);
    }
    const bool eraseAll = request.eraseMode == EraseMode::All;
    const bool useKeys = request.keys.has_value();
    const CsmKeys keys = request.keys.value_or(CsmKeys{});
    if (useKeys && keysAllZero(keys)) return showFailure(ctx.status, OutcomeCode::CsmPasswordWrong);
    const std::string name = preparePodFileName(request.podFileName, ctx.image.fileName);
    const auto finish = [&](CommandOutcome outcome) {
        outcome.podFileName = name;
        outcome.program = programFigures(ctx.image, eraseAll);
        return outcome;
    };
    if (const OutcomeCode connected = ctx.link.connectPod(ctx.status); connected != OutcomeCode::Ok) {
        return finish(shownFailure(connected));
    }
    PodStoreClient store(ctx.link, ctx.status, ctx.image, keys);
    CommandOutcome outcome = runBusyCommand(
        ctx, [&] { return storeProgram(store, ctx.status, ctx.image, ctx.clock, eraseAll, useKeys, name); },
        "EEPROM Write Completed - ", true);
    outcome.pod = ctx.link.pod();
    return finish(std::move(outcome));
}

CommandOutcome podVerify(CommandContext& ctx, const PodVerifyRequest& request) {
    if (const OutcomeCode ready = preparePodProgram(ctx, request.program, OutcomeCode::NoFileToVerify);
        ready != OutcomeCode::Ok) {
        return shownFailure(ready);
    }
    if (const OutcomeCode connected = ctx.link.connectPod(ctx.status); connected != OutcomeCode::Ok) {
        return shownFailure(connected);
    }
    const CsmKeys keys;
    PodStoreClient store(ctx.link, ctx.status, ctx.image, keys);
    CommandOutcome outcome = runBusyCommand(
        ctx, [&] { return verifyStore(store, ctx.status, ctx.image); }, "EEPROM Verify Completed - ", true);
    outcome.pod = ctx.link.pod();
    outcome.program = programFigures(ctx.image, false);
    return outcome;
}

CommandOutcome podInfo(CommandContext& ctx, const PodInfoRequest&) {
    if (const OutcomeCode connected = ctx.link.connectPod(ctx.status); connected != OutcomeCode::Ok) {
        return shownFailure(connected);
    }
    const CsmKeys keys;
    PodStoreClient store(ctx.link, ctx.status, ctx.image, keys);
    const auto version = podIdentify(ctx.link);
    const bool read = version && store.readTag();
    ctx.link.closePod();
    CommandOutcome outcome;
    outcome.pod = ctx.link.pod();
    if (!read || *version == 0) {
        outcome = showFailure(ctx.status, OutcomeCode::PodInfoFailed);
        outcome.pod = ctx.link.pod();
        return outcome;
    }
    outcome.podVersion = version;
    outcome.message = podInfoText(*version, store.tagReply());
    ctx.status.showMessage(outcome.message, false);
    return outcome;
}

}  // namespace cvl
