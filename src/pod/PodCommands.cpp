#include "pod/PodCommands.h"

#include <cstring>

namespace cvl {

namespace {
constexpr std::uint32_t kIdentifyLimitMs = 200;
constexpr std::uint32_t kResetLimitMs = 1000;
}  // namespace

unsigned deviceCode(McuType device) {
    const McuInfo* info = mcuInfo(device);
    return info != nullptr ? info->protocolCode : 0;
}

std::string keyText(const CsmKeys& keys) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint16_t w : keys.words) {
        for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(w >> shift) & 0xF];
    }
    return text;
}

std::optional<std::uint16_t> podIdentify(PodLink& link) {
    const auto reply = link.transact(Frame('?'), 6, kIdentifyLimitMs);
    if (!reply) return std::nullopt;
    const char* text = reinterpret_cast<const char*>(reply->payload());
    std::uint16_t version = 0;
    if (std::strncmp(text, "CVL", 3) == 0) {
        for (int i = 3; i < 5 && text[i] >= '0' && text[i] <= '9'; ++i) {
            version = static_cast<std::uint16_t>(version * 10 + (text[i] - '0'));
        }
    }
    return version;
}

bool targetReset(PodLink& link) {
    if (!link.transact(Frame('R'), 1, kResetLimitMs)) return false;
    link.purgePod();
    return true;
}

bool sendWord(PodLink& link, DataBatch& batch, char letter, std::uint16_t value, std::uint32_t limitMs) {
    switch (letter) {
        case 'S':
            return batch.add(link, letter, value);
        case 'U':
        case 'X':
            return link.transact(Frame(letter).hex(value, 4), 1, limitMs).has_value();
        case 'Y':
            batch.put(letter, value);
            return batch.flushAwaitingAck(link, limitMs);
        default:
            return false;
    }
}

bool sendLong(PodLink& link, DataBatch& batch, std::uint32_t value, std::uint32_t limitMs) {
    return sendWord(link, batch, 'U', static_cast<std::uint16_t>(value >> 16), limitMs) &&
           sendWord(link, batch, 'U', static_cast<std::uint16_t>(value & 0xFFFF), limitMs);
}

}  // namespace cvl
