#pragma once
// Status sink for tests that records every call, and a command's options as
// plain fields with the requests they make.

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

// A command's options as plain fields, as a front end gathers them, and the
// requests they make. (The window's own handlers are ProgrammerSession's,
// tested through it.)
struct CommandInputs {
    McuType device() const { return mcuAtIndex(static_cast<std::uint8_t>(mcu & 0xFF)); }
    ProgramSource program() const { return {path, device(), std::nullopt}; }
    EraseMode eraseMode() const { return eraseAll ? EraseMode::All : EraseMode::Intelligent; }
    std::optional<CsmKeys> keys() const { return csm ? std::optional<CsmKeys>(keysFromTexts(keyTexts)) : std::nullopt; }
    // Where a command remembers a file it loaded.
    RememberFile remember() {
        return [this](const std::string& p) { recent.push_back(p); };
    }

    int mcu = 2;
    std::vector<std::string> recent;
    std::string path;
    bool eraseAll = false;
    bool csm = false;
    std::array<std::string, 8> keyTexts{};
    std::string podName;
    LockConsent lock = LockConsent::None;
};

// Each command run with the inputs' request; true when it succeeded.
inline bool runTargetWrite(CommandContext& ctx, CommandInputs& in) {
    ctx.remember = in.remember();
    return targetWrite(ctx, {in.program(), in.eraseMode(), in.keys(), in.lock}).ok();
}
inline bool runTargetReset(CommandContext& ctx, CommandInputs&) { return targetReset(ctx, ResetRequest{}).ok(); }
inline bool runPodWrite(CommandContext& ctx, CommandInputs& in) {
    ctx.remember = in.remember();
    return podWrite(ctx, {in.program(), in.eraseMode(), in.keys(), in.podName, in.lock}).ok();
}
inline bool runPodVerify(CommandContext& ctx, CommandInputs& in) {
    ctx.remember = in.remember();
    return podVerify(ctx, PodVerifyRequest{in.program()}).ok();
}
inline bool runPodInfo(CommandContext& ctx, CommandInputs&) { return podInfo(ctx, PodInfoRequest{}).ok(); }

}  // namespace cvl::test
