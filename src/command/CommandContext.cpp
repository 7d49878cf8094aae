#include "command/CommandContext.h"

#include <cstdio>

namespace cvl {

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

CommandOutcome failed(StatusSink& status, OutcomeCode code) {
    status.showMessage(outcomeMessage(code), true);
    return shownFailure(code);
}

ProgramFigures programFigures(const CoffImage& image, bool eraseAll) {
    const ImageSummary& s = image.summary;
    return {image.imageLoaded == 1, image.fileName,    image.sectionCount(), s.flashSectionCount,
            s.flashBytes,           s.ramSectionCount, s.ramBytes,           image.eraseSectorMask(eraseAll)};
}

CommandOutcome runBusyCommand(CommandContext& ctx, const std::function<OutcomeCode()>& step,
                              const std::string& successText, bool failureShown) {
    ctx.status.setBusy(true);
    ctx.status.beginWaitCursor();
    const auto first = ctx.clock.systemTimeMs();
    const OutcomeCode code = step();
    const auto second = ctx.clock.systemTimeMs();
    CommandOutcome outcome;
    outcome.code = code;
    outcome.elapsed = elapsedText(first, second);
    if (code == OutcomeCode::Ok) {
        outcome.message = successText + outcome.elapsed;
        ctx.status.showMessage(outcome.message, false);
    } else {
        outcome.message = std::string(outcomeMessage(code));
        if (!failureShown) ctx.status.showMessage(outcome.message, true);
    }
    ctx.link.closePod();
    ctx.status.resetProgress();
    ctx.status.endWaitCursor();
    ctx.status.setBusy(false);
    return outcome;
}

}  // namespace cvl
