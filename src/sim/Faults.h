#pragma once
// Faults the emulator can inject, written as text for the command line:
//   silent:L:N         stay silent on the N-th frame of letter L (1-based)
//   wrongack:L:N       answer the N-th L frame with '?' instead of '!'
//   stray:L:N          send a stray byte when the N-th L frame arrives
//   delay:L:N:MS       hold the reply to the N-th L frame back MS milliseconds
//   unplug:N           disappear after the host has sent N bytes
// L is one command letter, '*' for any letter.

#include <cstdint>
#include <optional>
#include <string>

namespace cvl::sim {

enum class FaultKind : std::uint8_t { Silent, WrongAck, Stray, Delay, Unplug };

struct Fault {
    FaultKind kind = FaultKind::Silent;
    char letter = '*';
    std::uint32_t nth = 1;      // frame number of that letter, or bytes for Unplug
    std::uint32_t delayMs = 0;  // Delay only
    bool matches(char l, std::uint32_t n) const { return (letter == '*' || letter == l) && nth == n; }
};

// Parses one fault text; nothing when it is malformed.
std::optional<Fault> parseFault(const std::string& text);
// A whole decimal number of the emulator's options and faults.
bool toNumber(const std::string& s, std::uint32_t& out);
std::string describeFault(const Fault& fault);

}  // namespace cvl::sim
