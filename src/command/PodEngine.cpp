#include "command/PodEngine.h"

#include "command/RecordingSink.h"

namespace cvl {

BoardRecord runOnPod(const PodJob& job, CommandContext& ctx, const std::optional<PodInfo>& pod, LinkObserver* trace) {
    BoardRecord board;
    board.command = job.command;
    if (pod) {
        board.pod = *pod;
        ctx.link.usePodOnly(*pod);
    } else {
        ctx.link.useNoPod();
    }
    RecordingSink recording(&ctx.status);
    CommandContext recorded{ctx.image, ctx.link, recording, ctx.clock, ctx.remember, ctx.confirmLock};
    ctx.link.setObserver(trace);
    ctx.link.loadDriver();
    const std::uint64_t start = ctx.clock.nowMicros();
    board.outcome = job.run(recorded);
    board.totalMs = static_cast<double>(ctx.clock.nowMicros() - start) / 1000.0;
    ctx.link.closePod();
    ctx.link.setObserver(nullptr);
    if (!board.outcome.program && job.program) board.outcome.program = programFigures(ctx.image, job.eraseAll);
    if (pod && !board.outcome.pod) board.outcome.pod = *pod;
    board.messages = std::move(recording.messages);
    return board;
}

}  // namespace cvl
