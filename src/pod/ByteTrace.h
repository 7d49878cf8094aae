#pragma once
// Receives every byte that crosses the link, in both directions, with its time.

#include <cstddef>
#include <cstdint>

namespace cvl {

class ByteTrace {
public:
    virtual ~ByteTrace() = default;
    virtual void record(std::uint64_t atUs, bool toPod, const std::uint8_t* bytes, std::size_t size) = 0;
};

}  // namespace cvl
