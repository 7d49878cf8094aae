#include "PodCommands.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace cvl {

unsigned deviceCode(McuType device) { return static_cast<unsigned>(device) + 1; }

std::string keyText(const CsmKeys& keys) {
    std::string text;
    char field[8];
    for (std::uint16_t w : keys.words) {
        std::snprintf(field, sizeof field, "%04X", w);
        text += field;
    }
    return text;
}

std::uint32_t buildFrame(PodLink& link, const char* format, ...) {
    char* out = reinterpret_cast<char*>(link.txBuffer.data());
    std::va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(out, link.txBuffer.size(), format, args);
    va_end(args);
    return n < 0 ? 0 : static_cast<std::uint32_t>(std::min<int>(n, link.txBuffer.size() - 1));
}

bool sendFrameOnly(PodLink& link, std::uint32_t frameBytes) {
    return link.timedWrite(link.txBuffer.data(), frameBytes, kFrameWriteLimitMs);
}

bool transact(PodLink& link, std::uint32_t frameBytes, std::uint32_t replyBytes, std::uint32_t limitMs) {
    link.rxBuffer[0] = 0;
    if (!sendFrameOnly(link, frameBytes)) return false;
    if (!link.timedRead(link.rxBuffer.data(), replyBytes, limitMs)) return false;
    return link.rxBuffer[0] == ACK;
}

bool podInit(PodLink& link) { return transact(link, buildFrame(link, "%cI%c", STX, ETX), 1, 200); }

bool podIdentify(PodLink& link) {
    link.podVersion = 0;
    std::memset(link.rxBuffer.data(), 0, 7);
    if (!transact(link, buildFrame(link, "%c?%c", STX, ETX), 6, 200)) return false;
    const char* text = reinterpret_cast<const char*>(link.rxBuffer.data() + 1);
    if (std::strncmp(text, "CVL", 3) == 0) {
        unsigned version = 0;
        for (int i = 3; i < 5 && text[i] >= '0' && text[i] <= '9'; ++i) version = version * 10 + (text[i] - '0');
        link.podVersion = static_cast<std::uint16_t>(version);
    }
    return true;
}

bool targetReset(PodLink& link) {
    if (!transact(link, buildFrame(link, "%cR%c", STX, ETX), 1, 1000)) return false;
    link.purgePod();
    return true;
}

bool writeBatch(PodLink& link, std::string& batch) {
    if (batch.size() > link.txBuffer.size()) {  // never built that long; refuse rather than overrun
        batch.clear();
        return false;
    }
    std::memcpy(link.txBuffer.data(), batch.data(), batch.size());
    const bool written =
        link.timedWrite(link.txBuffer.data(), static_cast<std::uint32_t>(batch.size()), kBatchWriteLimitMs);
    batch.clear();
    if (!written) return false;
    // Data frames get no reply: anything the pod sent meanwhile is a failure.
    const auto waiting = link.receiveQueueCount();
    return waiting && *waiting == 0;
}

bool flushFrames(PodLink& link) { return writeBatch(link, link.pendingFrames); }

bool sendWord(PodLink& link, char letter, std::uint16_t value, std::uint32_t limitMs) {
    link.txBuffer.fill(0);
    link.rxBuffer[0] = 0;
    char frame[8];
    std::snprintf(frame, sizeof frame, "%c%c%04X%c", STX, letter, value, ETX);
    switch (letter) {
        case 'S':
            link.pendingFrames.append(frame, 7);
            if (link.pendingFrames.size() >= kBatchBytes) return flushFrames(link);
            return true;
        case 'U':
        case 'X':
            std::memcpy(link.txBuffer.data(), frame, 7);
            return transact(link, 7, 1, limitMs);
        case 'Y': {
            link.pendingFrames.append(frame, 7);
            const std::uint32_t size = static_cast<std::uint32_t>(link.pendingFrames.size());
            std::memcpy(link.txBuffer.data(), link.pendingFrames.data(), size);
            link.pendingFrames.clear();
            if (!link.timedWrite(link.txBuffer.data(), size, kBatchWriteLimitMs)) return false;
            return link.timedRead(link.rxBuffer.data(), 1, limitMs) && link.rxBuffer[0] == ACK;
        }
        default:
            return true;
    }
}

bool sendLong(PodLink& link, std::uint32_t value, std::uint32_t limitMs) {
    return sendWord(link, 'U', static_cast<std::uint16_t>(value >> 16), limitMs) &&
           sendWord(link, 'U', static_cast<std::uint16_t>(value & 0xFFFF), limitMs);
}

}  // namespace cvl
