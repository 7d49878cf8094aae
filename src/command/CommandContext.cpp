#include "command/CommandContext.h"

#include <algorithm>
#include <cstdio>

#include "image/ImageChecks.h"

namespace cvl {

std::optional<std::chrono::milliseconds> elapsedBetween(std::optional<std::uint32_t> start,
                                                        std::optional<std::uint32_t> end) {
    if (!start || !end) return std::nullopt;
    return std::chrono::milliseconds(static_cast<std::uint32_t>(*end - *start));
}

std::string elapsedText(std::optional<std::uint32_t> start, std::optional<std::uint32_t> end) {
    if (!start || !end) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f sec", static_cast<double>(*end - *start) * 0.001);
    return text;
}

CommandOutcome shownFailure(OutcomeCode code) {
    CommandOutcome outcome;
    outcome.code = code;
    outcome.message = std::string(outcomeMessage(code));
    return outcome;
}

CommandOutcome showFailure(StatusSink& status, OutcomeCode code) {
    status.showMessage(outcomeMessage(code), true);
    return shownFailure(code);
}

ProgramFigures programFigures(const CoffImage& image, bool eraseAll) {
    const ImageSummary& s = image.summary;
    return {image.imageLoaded, image.fileName,    image.sectionCount(), s.flashSectionCount,
            s.flashBytes,      s.ramSectionCount, s.ramBytes,           image.eraseSectorMask(eraseAll)};
}

OutcomeCode checkLockConsent(CommandContext& ctx, LockConsent consent) {
    const auto password = imagePassword(ctx.image);
    const auto all = [&](std::uint16_t v) {
        return std::all_of(password.begin(), password.end(), [v](std::uint16_t w) { return w == v; });
    };
    if (all(0xFFFF)) return OutcomeCode::Ok;
    if (all(0)) {
        if (consent == LockConsent::PermanentLock) return OutcomeCode::Ok;
        ctx.status.showMessage(outcomeMessage(OutcomeCode::PermanentLockRefused), true);
        return OutcomeCode::PermanentLockRefused;
    }
    if (consent != LockConsent::None) return OutcomeCode::Ok;
    if (ctx.confirmLock && ctx.confirmLock("The program sets a CSM password: the device will be locked and can be "
                                           "read or reprogrammed only with that password. Write it?")) {
        return OutcomeCode::Ok;
    }
    ctx.status.showMessage(outcomeMessage(OutcomeCode::LockNotConfirmed), true);
    return OutcomeCode::LockNotConfirmed;
}

CommandOutcome runBusyCommand(CommandContext& ctx, const std::function<OutcomeCode()>& step,
                              const std::string& successText, bool failureShown) {
    ctx.status.commandStarted();
    const auto first = ctx.clock.systemTimeMs();
    const OutcomeCode code = step();
    const auto second = ctx.clock.systemTimeMs();
    CommandOutcome outcome;
    outcome.code = code;
    outcome.elapsed = elapsedBetween(first, second);
    if (code == OutcomeCode::Ok) {
        outcome.message = successText + elapsedText(first, second);
        ctx.status.showMessage(outcome.message, false);
    } else {
        outcome.message = std::string(outcomeMessage(code));
        if (!failureShown) ctx.status.showMessage(outcome.message, true);
    }
    ctx.link.closePod();
    ctx.status.resetProgress();
    ctx.status.commandEnded();
    return outcome;
}

}  // namespace cvl
