#include "sim/Faults.h"

#include <charconv>
#include <vector>

namespace cvl::sim {

namespace {
std::vector<std::string> splitColons(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) return parts;
        start = colon + 1;
    }
}
}  // namespace

bool toNumber(const std::string& s, std::uint32_t& out) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc{} && end == s.data() + s.size() && !s.empty();
}

std::optional<Fault> parseFault(const std::string& text) {
    const auto parts = splitColons(text);
    Fault f;
    if (parts[0] == "unplug") {
        if (parts.size() != 2 || !toNumber(parts[1], f.nth)) return std::nullopt;
        f.kind = FaultKind::Unplug;
        return f;
    }
    if (parts[0] == "silent")
        f.kind = FaultKind::Silent;
    else if (parts[0] == "wrongack")
        f.kind = FaultKind::WrongAck;
    else if (parts[0] == "stray")
        f.kind = FaultKind::Stray;
    else if (parts[0] == "delay")
        f.kind = FaultKind::Delay;
    else
        return std::nullopt;
    const std::size_t want = f.kind == FaultKind::Delay ? 4 : 3;
    if (parts.size() != want || parts[1].size() != 1 || !toNumber(parts[2], f.nth) || f.nth == 0) return std::nullopt;
    f.letter = parts[1][0];
    if (f.kind == FaultKind::Delay && !toNumber(parts[3], f.delayMs)) return std::nullopt;
    return f;
}

std::string describeFault(const Fault& f) {
    static const char* const names[] = {"silent", "wrongack", "stray", "delay", "unplug"};
    std::string text = names[static_cast<int>(f.kind)];
    text += ':';
    if (f.kind != FaultKind::Unplug) {
        text += f.letter;
        text += ':';
    }
    text += std::to_string(f.nth);
    if (f.kind == FaultKind::Delay) {
        text += ':';
        text += std::to_string(f.delayMs);
    }
    return text;
}

}  // namespace cvl::sim
