#pragma once

#include <cstddef>
#include <cstdint>

namespace cvl {

// The standard CRC-32 (reflected polynomial 0xEDB88320), as zlib computes it.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace cvl
