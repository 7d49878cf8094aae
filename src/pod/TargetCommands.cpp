#include "TargetCommands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ImageChecks.h"
#include "TargetWrite.h"

namespace cvl {

std::string elapsedText(std::optional<std::uint32_t> start, std::optional<std::uint32_t> end) {
    if (!start || !end) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f sec", static_cast<double>(*end - *start) * 0.001);
    return text;
}

std::uint16_t parseKeyText(const std::string& raw) {
    const std::string text = trimmed(raw);
    if (text.empty()) return 0xFFFF;
    return static_cast<std::uint16_t>(std::strtoul(text.c_str(), nullptr, 16) & 0xFFFF);
}

bool readCsmKeys(const CommandInputs& inputs, CsmKeys& keys, StatusSink& status) {
    for (int i = 0; i < 8; ++i) keys.words[i] = parseKeyText(inputs.keyEditText(i));
    if (std::all_of(keys.words.begin(), keys.words.end(), [](std::uint16_t w) { return w == 0; })) {
        status.showMessage("CSM Password input is wrong", true);
        return false;
    }
    return true;
}

bool onTargetWrite(CommandContext& ctx) {
    ctx.keys = CsmKeys{};
    if (!ensureImageLoaded(ctx.image, ctx.status, ctx.inputs, ctx.inputs.filePathText(),
                           "Please, specify COFF file to write target")) {
        return false;
    }
    if (auto refused = checkTargetImage(ctx.image)) {
        ctx.status.showMessage(*refused, true);
        return false;
    }
    const bool eraseAll = ctx.inputs.eraseAllChecked();
    const bool csm = ctx.inputs.csmChecked();
    const bool flash = ctx.image.summary.hasFlashSection != 0;
    if (csm && !readCsmKeys(ctx.inputs, ctx.keys, ctx.status)) return false;
    if (!ctx.link.connectPod(ctx.status)) return false;

    TargetProgrammer programmer(ctx.link, ctx.status, ctx.image, ctx.keys);
    TargetWriteResult result = TargetWriteResult::Success;
    return runBusyCommand(
        ctx,
        [&] {
            result = programmer.runTargetWrite(flash, eraseAll, csm);
            return result == TargetWriteResult::Success;
        },
        [&](bool ok, const std::string& elapsed) {
            if (ok) {
                ctx.status.showMessage("Flash Write Completed - " + elapsed, false);
            } else {
                ctx.status.showMessage(targetWriteMessage(result), true);
            }
        });
}

bool runBusyCommand(CommandContext& ctx, const std::function<bool()>& step,
                    const std::function<void(bool ok, const std::string& elapsed)>& report) {
    ctx.status.setBusy(true);
    ctx.status.beginWaitCursor();
    const auto first = ctx.clock.systemTimeMs();
    const bool ok = step();
    const auto second = ctx.clock.systemTimeMs();
    report(ok, elapsedText(first, second));
    ctx.link.closePod();
    ctx.status.resetProgress();
    ctx.status.endWaitCursor();
    ctx.status.setBusy(false);
    return ok;
}

bool onTargetReset(CommandContext& ctx) {
    if (!ctx.link.connectPod(ctx.status)) return false;
    const bool reset = targetReset(ctx.link);
    ctx.link.closePod();
    if (reset) {
        ctx.status.showMessage("Target board's reset is successful", false);
    } else {
        ctx.status.showMessage("Fail to reset target board", true);
    }
    return reset;
}

}  // namespace cvl
