#pragma once
// Status sink for tests that records every call, and the window's controls
// as plain fields with the button handlers over them.

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "command/CommandContext.h"
#include "command/CsmKeyText.h"
#include "command/Requests.h"
#include "command/StoreCommands.h"
#include "command/TargetCommands.h"
#include "common/StatusSink.h"
#include "command/LoadCommand.h"

namespace cvl::test {

struct ShownMessage {
    std::string text;
    bool isError;
    bool operator==(const ShownMessage&) const = default;
    friend void PrintTo(const ShownMessage& m, std::ostream* os) {
        *os << (m.isError ? "error \"" : "note \"") << m.text << '"';
    }
};

class RecordingStatus : public StatusSink {
public:
    void showMessage(std::string_view text, bool isError) override { messages.push_back({std::string(text), isError}); }
    void commandStarted() override {
        busyCalls.push_back(true);
        ++waitCursor;
    }
    void commandEnded() override {
        --waitCursor;
        busyCalls.push_back(false);
    }
    void beginProgress(std::uint32_t total) override {
        progressTotals.push_back(total);
        position = 0;
    }
    void stepProgress() override {
        ++position;
        ++steps;
    }
    void resetProgress() override {
        position = 0;
        ++resets;
    }

    const ShownMessage& last() const { return messages.back(); }

    std::vector<ShownMessage> messages;
    std::vector<bool> busyCalls;
    std::vector<std::uint32_t> progressTotals;
    std::uint64_t position = 0;
    std::uint64_t steps = 0;
    int resets = 0;
    int waitCursor = 0;
};

// Everything the window's controls hold, as plain fields.
struct WindowInputs {
    McuType device() const { return mcuAtIndex(static_cast<std::uint8_t>(mcu & 0xFF)); }
    ProgramSource program() const { return {path, device(), std::nullopt}; }
    EraseMode eraseMode() const { return eraseAll ? EraseMode::All : EraseMode::Intelligent; }
    std::optional<CsmKeys> keys() const { return csm ? std::optional<CsmKeys>(keysFromTexts(keyTexts)) : std::nullopt; }
    RememberFile remember() {
        return [this](const std::string& p) { recent.push_back(p); };
    }

    int mcu = 2;
    std::vector<std::string> recent;
    std::string path;
    bool eraseAll = false;
    bool csm = false;
    std::array<std::string, 8> keyTexts{};
    std::string podNameBox;
    std::string podFileName;
    LockConsent lock = LockConsent::None;
};

// The window's handlers: a request built from the controls, the command run,
// the POD file name written back. True when the command succeeded.
inline bool onTargetWrite(CommandContext& ctx, WindowInputs& in) {
    ctx.remember = in.remember();
    return targetWrite(ctx, {in.program(), in.eraseMode(), in.keys(), in.lock}).ok();
}
inline bool onTargetReset(CommandContext& ctx, WindowInputs&) { return targetReset(ctx, ResetRequest{}).ok(); }
inline bool onPodWrite(CommandContext& ctx, WindowInputs& in) {
    ctx.remember = in.remember();
    const CommandOutcome outcome = podWrite(ctx, {in.program(), in.eraseMode(), in.keys(), in.podNameBox, in.lock});
    if (!outcome.podFileName.empty()) in.podFileName = in.podNameBox = outcome.podFileName;
    return outcome.ok();
}
inline bool onPodVerify(CommandContext& ctx, WindowInputs& in) {
    ctx.remember = in.remember();
    return podVerify(ctx, PodVerifyRequest{in.program()}).ok();
}
inline bool onPodInfo(CommandContext& ctx, WindowInputs&) { return podInfo(ctx, PodInfoRequest{}).ok(); }

}  // namespace cvl::test
