#pragma once
// Request frames (STX, letter, fixed-width uppercase hex fields, ETX), the
// acknowledgement rule and the basic pod commands.

#include <array>
#include <cstdint>
#include <string>

#include "McuTable.h"
#include "PodLink.h"

namespace cvl {

inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr std::uint8_t ACK = '!';
inline constexpr std::uint32_t kFrameWriteLimitMs = 200;
inline constexpr std::uint32_t kBatchWriteLimitMs = 2000;
inline constexpr std::size_t kBatchBytes = 350;  // 50 data-word frames

// The eight CSM password words KEY0..KEY7; 0xFFFF is an erased key.
struct CsmKeys {
    std::array<std::uint16_t, 8> words{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    bool operator==(const CsmKeys&) const = default;
};

// The device as one hex digit value: 1 F28332, 2 F28334, 3 F28335.
unsigned deviceCode(McuType device);
// The keys as 32 hex digits, KEY0 first.
std::string keyText(const CsmKeys& keys);

// Builds a frame in the link's transmit buffer from a format string whose
// first and last conversions are STX and ETX; returns its length.
std::uint32_t buildFrame(PodLink& link, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes the frame in the transmit buffer (200 ms), then reads replyBytes
// within limitMs; true when both worked and the first byte is the ACK.
bool transact(PodLink& link, std::uint32_t frameBytes, std::uint32_t replyBytes, std::uint32_t limitMs);
// Writes the frame in the transmit buffer; no reply is awaited.
bool sendFrameOnly(PodLink& link, std::uint32_t frameBytes);

bool podInit(PodLink& link);
bool podIdentify(PodLink& link);
bool targetReset(PodLink& link);

bool sendWord(PodLink& link, char letter, std::uint16_t value, std::uint32_t limitMs);
bool sendLong(PodLink& link, std::uint32_t value, std::uint32_t limitMs);
bool flushFrames(PodLink& link);

// Writes a batch of data frames (2000 ms) and checks that the pod has sent
// nothing back meanwhile. The batch text is emptied whatever the outcome.
bool writeBatch(PodLink& link, std::string& batch);

}  // namespace cvl
