#pragma once
// FTDI's D2XX calling convention: status codes, flags and the entry points'
// types. Only the vendor backend (and the stand-in library that tests it)
// speaks it; everything else reaches a pod through PodPort.

#include <cstdint>

namespace cvl::d2xx {

using FtHandle = void*;
using FtStatus = std::uint32_t;  // ULONG, 32 bits in every build of the library

inline constexpr FtStatus FT_OK = 0;
inline constexpr FtStatus FT_INVALID_HANDLE = 1;
inline constexpr FtStatus FT_DEVICE_NOT_FOUND = 2;
inline constexpr FtStatus FT_DEVICE_NOT_OPENED = 3;
inline constexpr FtStatus FT_IO_ERROR = 4;
inline constexpr FtStatus FT_INVALID_PARAMETER = 6;

inline constexpr std::uint32_t FT_LIST_NUMBER_ONLY = 0x80000000;
inline constexpr std::uint32_t FT_LIST_BY_INDEX = 0x40000000;
inline constexpr std::uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr std::uint32_t FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr std::uint32_t FT_OPEN_BY_LOCATION = 4;
inline constexpr std::uint8_t FT_BITS_8 = 8;
inline constexpr std::uint8_t FT_STOP_BITS_1 = 0;
inline constexpr std::uint8_t FT_PARITY_NONE = 0;
inline constexpr std::uint16_t FT_FLOW_NONE = 0x0000;
inline constexpr std::uint32_t FT_PURGE_RX = 1;
inline constexpr std::uint32_t FT_PURGE_TX = 2;

// Descriptions and serial numbers are at most 63 characters plus the NUL.
inline constexpr std::uint32_t kTextBytes = 64;

}  // namespace cvl::d2xx
