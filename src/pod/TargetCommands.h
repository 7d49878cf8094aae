#pragma once
// The Target Write and Target Reset commands as the buttons run them: input
// checks, connection, the busy bracket and the outcome message.

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "Clock.h"
#include "CoffImage.h"
#include "CommandInputs.h"
#include "PodCommands.h"
#include "PodLink.h"
#include "StatusSink.h"

namespace cvl {

// Everything a command works on; the window and the CLI each own one set.
struct CommandContext {
    CoffImage& image;
    PodLink& link;
    CsmKeys& keys;
    StatusSink& status;
    CommandInputs& inputs;
    Clock& clock;
};

// "%.2f sec" of the difference of two system-time readings, or empty when
// either reading failed.
std::string elapsedText(std::optional<std::uint32_t> start, std::optional<std::uint32_t> end);

// Reads a key edit's text as the key value: empty gives 0xFFFF; otherwise the
// low 16 bits of the hexadecimal number it starts with (sign and 0x allowed).
std::uint16_t parseKeyText(const std::string& text);

// Fills keys from the eight edits; refuses (with its message) all-zero keys.
bool readCsmKeys(const CommandInputs& inputs, CsmKeys& keys, StatusSink& status);

// The busy bracket of the long commands: buttons disabled and wait cursor
// from before the first time reading to after the link is closed. report
// shows the outcome with the elapsed text of the two readings. Returns the
// step's result.
bool runBusyCommand(CommandContext& ctx, const std::function<bool()>& step,
                    const std::function<void(bool ok, const std::string& elapsed)>& report);

// Both return true when the command succeeded.
bool onTargetWrite(CommandContext& ctx);
bool onTargetReset(CommandContext& ctx);

}  // namespace cvl
