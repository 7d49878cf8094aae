#pragma once
// The basic pod commands and the shared field texts of request frames.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "image/McuTable.h"
#include "pod/DataBatch.h"
#include "pod/PodLink.h"

namespace cvl {

// The eight CSM password words KEY0..KEY7; 0xFFFF is an erased key.
struct CsmKeys {
    std::array<std::uint16_t, 8> words{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    bool operator==(const CsmKeys&) const = default;
};

// The device as one hex digit value: 1 F28332, 2 F28334, 3 F28335.
unsigned deviceCode(McuType device);
// The keys as 32 hex digits, KEY0 first.
std::string keyText(const CsmKeys& keys);

// The pod's firmware version ("CVL12" gives 12; another identifier gives 0),
// or nothing when the pod did not answer.
std::optional<std::uint16_t> podIdentify(PodLink& link);
bool targetReset(PodLink& link);

// One word of the boot stream: 'S' joins the batch; 'U' (header) and 'X'
// (end of stream) are acknowledged frames of their own; 'Y' ends a block and
// goes out with the batch before it, its acknowledgement read within limitMs.
// Any other letter is refused and sends nothing.
bool sendWord(PodLink& link, DataBatch& batch, char letter, std::uint16_t value, std::uint32_t limitMs);
// A 32-bit header value as two 'U' words, high word first.
bool sendLong(PodLink& link, DataBatch& batch, std::uint32_t value, std::uint32_t limitMs);

}  // namespace cvl
